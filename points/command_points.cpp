// marula-points init, list, history, rename and delete: the job's header
// and points one at a time.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "base/printable.h"

#include "job/provenance.h"
#include "points_command.h"

namespace marula::points_command {

using namespace marula::job;

int run_init(Job& job, const Args& params) {
    JobHeader header = job.header();
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params[i] == "--name" && i + 1 < params.size()) {
            header.display_name = params[++i];
        } else if (params[i] == "--zone" && i + 1 < params.size()) {
            const std::string& z = params[++i];
            char* end = nullptr;
            const long zone = std::strtol(z.c_str(), &end, 10);
            if (z.empty() || *end != '\0' || zone < 1 || zone > 19) return usage("init: --zone takes 1 to 19");
            header.zone = static_cast<int>(zone);
        } else {
            return usage("init: unexpected argument: " + params[i]);
        }
    }
    const WriteResult w = job.set_header(header, kOrigin);
    return w.ok() ? kDone : write_failure(w);
}

int run_list(Job& job, const Args& params) {
    const bool stale = params.size() == 1 && params[0] == "--stale";
    if (!params.empty() && !stale) return usage("list takes no arguments but --stale");
    std::string out;
    if (stale) {
        // The points whose inputs moved: NAME X Y H and the input that moved
        // (or the stale point it came from).
        const auto found = stale_points(job.database());
        if (!found.ok()) return job_failure(*found.trouble);
        for (const Stale& s : found.value)
            out += printable(s.point.name) + "\t" + format_metres(s.point.x) + "\t" + format_metres(s.point.y) + "\t" +
                   h_text(s.point.h) + "\t" + printable(s.because) + "\n";
    } else {
        const auto points = job.points();
        if (!points.ok()) return job_failure(*points.trouble);
        for (const Point& p : points.value)
            out += printable(p.name) + "\t" + format_metres(p.x) + "\t" + format_metres(p.y) + "\t" + h_text(p.h) + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kDone;
}

int run_history(Job& job, const Args& params) {
    if (!params.empty()) return usage("history takes no arguments");
    const auto history = job.history();
    if (!history.ok()) return job_failure(*history.trouble);
    for (const Change& c : history.value) {
        const std::string before = c.before_text ? *c.before_text : point_text(c.before);
        const std::string after = c.after_text ? *c.after_text : point_text(c.after);
        std::cout << printable(c.time) << "\t" << printable(c.program) << "\t" << c.action << "\t" << printable(c.name)
                  << "\t" << printable(before) << "\t" << printable(after) << "\t" << printable(c.source) << "\n";
    }
    return kDone;
}

int run_rename(Job& job, const Args& params) {
    if (params.size() != 2) return usage("rename OLD NEW");
    const WriteResult w = job.rename(params[0], params[1], kOrigin);
    return w.ok() ? kDone : write_failure(w);
}

int run_delete(Job& job, const Args& params) {
    if (params.size() != 1) return usage("delete NAME");
    const WriteResult w = job.remove(params[0], kOrigin);
    return w.ok() ? kDone : write_failure(w);
}

}  // namespace marula::points_command
