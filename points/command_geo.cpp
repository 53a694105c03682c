// marula-points geo: where the job's points are on the Earth.
#include <cstdio>
#include <iostream>

#include "base/printable.h"
#include "point_lookup.h"
#include "points_command.h"
#include "survey/plane_rectangular.h"

namespace marula::points_command {

using namespace marula::job;

int run_geo(Job& job, const Args& names) {
    int status = kDone;
    const std::optional<int> zone = zone_or_refusal(job, status);
    if (!zone) return status;
    std::vector<Point> points;
    if (names.empty()) {
        auto all = job.points();
        if (!all.ok()) return job_failure(*all.trouble);
        points = std::move(all.value);
    }
    // Every name is found before anything is printed.
    for (const std::string& name : names) {
        auto found = points::find_by_name_or_number(job, name);
        if (!found.ok()) return job_failure(*found.trouble);
        if (!found.value) return usage("geo: no point named " + printable_quote(name));
        points.push_back(*found.value);
    }
    std::string out;
    for (const Point& p : points) {
        const auto at = plane_to_geographic(*zone, to_metres(p.x), to_metres(p.y));
        if (!at) {
            std::cerr << kProgram << ": " << printable(p.name) << ": 座標系の範囲外です\n";
            status = kRefused;
            continue;
        }
        out += printable(p.name) + "\t" + fixed_decimals(at->latitude, 9) + "\t" + fixed_decimals(at->longitude, 9) + "\t" +
               fixed_decimals(at->convergence, 9) + "\t" + fixed_decimals(at->scale, 9) + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return status;
}

}  // namespace marula::points_command
