// Name lookups in a job, for the benchmark: opens the job in DIR and looks
// up COUNT names of the form PREFIX<n> spread over the job, then prints the
// mean time of one lookup. Run once with a large COUNT and once with 1: the
// difference of the whole-process times over the difference of the counts
// is the cost of a lookup as a program at a prompt pays it.
//
//   job_lookup_bench DIR COUNT [PREFIX]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "job/job.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: job_lookup_bench DIR COUNT [PREFIX]\n", stderr);
        return 2;
    }
    const long count = std::atol(argv[2]);
    const std::string prefix = argc > 3 ? argv[3] : "P";
    auto opened = marula::job::open_job(argv[1]);
    if (!opened.job) {
        std::fprintf(stderr, "%s\n", opened.message.c_str());
        return 1;
    }
    const long points = static_cast<long>(opened.job->count().value);
    long found = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        // A stride prime to the count visits names all over the job.
        const long n = points > 0 ? (i * 7919) % points : 0;
        if (opened.job->find(prefix + std::to_string(n)).value) ++found;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld lookups among %ld points, %ld found, %.3f us each\n", count, points, found,
                count > 0 ? seconds * 1e6 / double(count) : 0.0);
    return found == count ? 0 : 1;
}
