// Page turns of the point list, timed inside one process: opens the job in
// DIR, reads its count once, then turns TURNS pages forward by key (the 19
// points numbered after the last one shown, from the first page again at
// the end) and as many back, as the list does, and prints the median and
// the mean of one turn and the process's peak resident memory.
//
//   job_page_bench DIR [TURNS]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "job/job.h"

namespace {

constexpr int kPageRows = 19;

double median_of(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: job_page_bench DIR [TURNS]\n", stderr);
        return 2;
    }
    const long turns = argc > 2 ? std::atol(argv[2]) : 2000;
    auto opened = marula::job::open_job(argv[1]);
    if (!opened.job) {
        std::fprintf(stderr, "%s\n", opened.message.c_str());
        return 1;
    }
    const marula::job::Job& job = *opened.job;
    const long points = static_cast<long>(job.count().value);
    auto page = job.points(0, kPageRows).value;
    std::vector<double> forward, back;
    using Clock = std::chrono::steady_clock;
    for (long i = 0; i < turns; ++i) {
        const auto start = Clock::now();
        auto next = job.points(page.empty() ? 0 : page.back().number, kPageRows).value;
        if (next.empty()) next = job.points(0, kPageRows).value;
        forward.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        page = std::move(next);
    }
    for (long i = 0; i < turns; ++i) {
        const auto start = Clock::now();
        auto before = job.points_before(page.empty() ? 1 : page.front().number, kPageRows).value;
        if (before.empty()) before = job.points_before(std::int64_t(1) << 62, kPageRows).value;
        back.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        page = std::move(before);
    }
    double sum = 0;
    for (double t : forward) sum += t;
    for (double t : back) sum += t;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("points %ld, turns %ld forward and %ld back\n", points, turns, turns);
    std::printf("turn forward: median %.1f us; back: median %.1f us; mean of all %.1f us\n", median_of(forward),
                median_of(back), turns > 0 ? sum / double(2 * turns) : 0.0);
    std::printf("peak RSS %ld KB\n", usage.ru_maxrss);
    return 0;
}
