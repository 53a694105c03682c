// marula-points settings: the job's settings printed, or changed.
#include <iostream>

#include "job/settings.h"
#include "points_command.h"

namespace marula::points_command {

using namespace marula::job;

namespace {

constexpr const char* kSettingsUsage =
    "settings [--reduction none|scale|height-scale] [--height M] [--geoid M] "
    "[--class none|1|2|3|4|甲一|甲二|甲三|乙一|乙二|乙三]";

int print_settings(Job& job) {
    const auto settings = read_settings(job.database());
    if (!settings.ok()) return job_failure(*settings.trouble);
    for (std::string_view key : kSettingKeys) std::cout << key << "\t" << setting_text(key, settings.value) << "\n";
    return kDone;
}

}  // namespace

int run_settings(Job& job, const Args& params) {
    if (params.empty()) return print_settings(job);
    SettingsChange change;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string& option = params[i];
        if (i + 1 >= params.size()) return usage(std::string(kSettingsUsage));
        const std::string& value = params[++i];
        if (option == "--reduction") {
            change.reduction = parse_reduction_mode(value);
            if (!change.reduction) return usage("settings: --reduction takes none, scale or height-scale");
        } else if (option == "--class") {
            change.tolerance = parse_tolerance_class(value);
            if (!change.tolerance) return usage("settings: --class takes none, 1 to 4, or 甲一 to 乙三");
        } else if (option == "--height") {
            change.mean_height = parse_millimetres(value);
            if (!change.mean_height) return usage("settings: --height takes metres from -1000 to 9000");
        } else if (option == "--geoid") {
            change.geoid_height = parse_millimetres(value);
            if (!change.geoid_height) return usage("settings: --geoid takes metres from -200 to 200");
        } else {
            return usage("settings: unexpected argument: " + option);
        }
    }
    const WriteResult w = change_settings(job.database(), change, kOrigin);
    return w.ok() ? kDone : write_failure(w);
}

}  // namespace marula::points_command
