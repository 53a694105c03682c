// marula-points check: the full integrity check of the job, on demand (an
// opening checks only what costs the same whatever the job holds).
#include <iostream>

#include "base/printable.h"
#include "points_command.h"

namespace marula::points_command {

using namespace marula::job;

int run_check(Job& job, const Args& args) {
    if (!args.empty()) return usage("check: unexpected argument: " + args[0]);
    const auto found = job.check();
    if (!found.ok()) return job_failure(*found.trouble);
    for (const std::string& line : found.value) std::cout << printable(line) << "\n";
    const bool sound = found.value.size() == 1 && found.value.front() == "ok";
    return sound ? kDone : kJobFailed;
}

}  // namespace marula::points_command
