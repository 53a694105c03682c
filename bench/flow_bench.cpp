// What a program pays for its job at a prompt and after a calculation, with
// 50,000 points in the job: the lookup of a typed name (the stored point,
// and for a name the job lacks the near-miss search too) and the store of a
// traverse's sixteen adjusted stations, each made of the same job calls as
// the frame makes them (name check, lookup, the moved points, one
// transaction), and the opening of the job that each program does once as
// it starts. Prints the median, the 95th percentile and the largest of each, in ms.
//
//   flow_bench DIR [ROUNDS]     (DIR: a job folder, filled when empty)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "job/job.h"

namespace job = marula::job;

namespace {

constexpr int kJobPoints = 50'000;
constexpr int kStations = 16;
const job::Origin kOrigin{"flow_bench", "入力"};

double ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %7.3f ms   95%% %7.3f ms   max %7.3f ms   (%zu rounds)\n", what,
                times[times.size() / 2], times[times.size() * 95 / 100], times.back(), times.size());
}

// The lookup at a prompt: the typed name checked, then found (or, when
// the job lacks it, the name it misses by width or case).
bool look_up(const job::Job& j, const std::string& typed) {
    const job::NameCheck check = job::check_name(typed);
    if (!check.ok()) return false;
    if (j.find(check.name).value) return true;
    return j.near_miss(check.name).value.has_value();
}

// The store after a calculation: sixteen stations checked and converted,
// the moved ones looked for, the new ones noted, one transaction.
bool store(job::Job& j, int round, bool moved) {
    std::vector<job::StoreRequest> points;
    for (int k = 1; k <= kStations; ++k) {
        const job::NameCheck check = job::check_name("R" + std::to_string(round) + "-" + std::to_string(k));
        const double x = -36000.0 + k * 12.345 + (moved ? 0.01 : 0), y = -8000.0 + k * 6.789;
        points.push_back({check.name, *job::to_millimetres(x), *job::to_millimetres(y)});
    }
    const auto differing = j.moved_by(points);
    // A correction moves the run's own points: it may replace them as stored.
    if (moved)
        for (std::size_t i = 0; i < points.size() && i < differing.value.size(); ++i)
            points[i].may_replace = differing.value[i];
    int fresh = 0;
    for (const job::StoreRequest& p : points)
        if (!j.find(p.name).value) ++fresh;
    const auto stored = j.store(points, kOrigin);
    return stored.result.ok() && (moved ? differing.value.size() == kStations : fresh == kStations);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: flow_bench DIR [ROUNDS]\n", stderr);
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    auto opened = job::open_job(argv[1]);
    if (!opened.job) {
        std::fprintf(stderr, "%s\n", opened.message.c_str());
        return 1;
    }
    if (opened.job->count().value < kJobPoints) {
        std::vector<job::StoreRequest> points;
        for (int i = 0; i < kJobPoints; ++i)
            points.push_back({"P" + std::to_string(i), *job::to_millimetres(-36000.0 - i * 0.013),
                              *job::to_millimetres(-8000.0 + (i % 997) * 0.211)});
        if (!opened.job->store(points, kOrigin).result.ok()) return 1;
    }
    // Opening it again, as each program does once as it starts (one
    // connection at a time: the one before is closed first).
    std::vector<double> opens;
    for (int r = 0; r < 5; ++r) {
        opened.job.reset();
        const auto start = std::chrono::steady_clock::now();
        opened = job::open_job(argv[1]);
        opens.push_back(ms_since(start));
        if (!opened.job) return 1;
    }
    job::Job& j = *opened.job;
    std::printf("%lld points in the job\n", static_cast<long long>(j.count().value));

    std::vector<double> found, missed, added, replaced;
    bool ok = true;
    for (int r = 0; r < rounds; ++r) {
        const std::string name = "P" + std::to_string((r * 7919) % kJobPoints);
        auto start = std::chrono::steady_clock::now();
        ok = look_up(j, name) && ok;
        found.push_back(ms_since(start));
        // Lower case: found only through the near-miss search.
        start = std::chrono::steady_clock::now();
        ok = look_up(j, "p" + name.substr(1)) && ok;
        missed.push_back(ms_since(start));
    }
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        ok = store(j, r, false) && ok;
        added.push_back(ms_since(start));
        start = std::chrono::steady_clock::now();
        ok = store(j, r, true) && ok;
        replaced.push_back(ms_since(start));
    }
    report("open of the job (once, as a program starts)", opens);
    report("lookup of a stored name", found);
    report("lookup of a name missed by case (hint)", missed);
    report("store of 16 new stations", added);
    report("store of 16 stations moved by a correction", replaced);
    if (!ok) std::fputs("flow_bench: a lookup or a store did not do what it should\n", stderr);
    return ok ? 0 : 1;
}
