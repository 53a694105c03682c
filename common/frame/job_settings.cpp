#include "frame/job_settings.h"

#include <cstdio>

#include "frame/calculation.h"
#include "frame/screen.h"
#include "job/settings.h"
#include "survey/plane_zones.h"

namespace marula {

namespace {

constexpr int kLabelColor = 1;

std::string metres_text(double value, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

// The settings of the session's job: defaults without one; a value that
// cannot be read, or a reduction the job's zone cannot carry, is said and
// left at its default.
CalculationSettings read_calculation_settings(Session& session) {
    CalculationSettings out;
    job::Job* job = session.job();
    if (!job) return out;
    const auto header = job->read_header();
    if (!header.ok()) session.say_trouble(header.trouble);
    out.zone = header.value.zone;
    const auto stored = job::read_settings(job->database());
    if (!stored.ok()) session.say_trouble(stored.trouble);
    out.tolerance = stored.value.tolerance;
    const std::optional<DistanceReduction> reduction =
        distance_reduction(stored.value.reduction, out.zone.value_or(0), job::to_metres(stored.value.mean_height),
                           job::to_metres(stored.value.geoid_height));
    if (reduction) {
        out.reduction = *reduction;
    } else {
        session.say(std::string(job::kNoZoneMessage) + "。距離は補正しません");
    }
    return out;
}

}  // namespace

const CalculationSettings& Calculation::settings() {
    if (!settings_) settings_ = read_calculation_settings(session_);
    return *settings_;
}

void show_reduction_label(Runtime& rt, const CalculationSettings& settings) {
    if (!settings.reducing()) return;
    print_at(rt, 0, 0, "距離：" + std::string(reduction_mode_label(settings.reduction.mode)), kLabelColor,
             kStylePlain);
}

std::string reduction_settings_line(const CalculationSettings& s) {
    if (!s.reducing()) return {};
    std::string line = "距離の補正：" + std::string(reduction_mode_label(s.reduction.mode));
    if (s.zone) line += "　第" + std::to_string(*s.zone) + "系";
    if (s.reduction.mode == ReductionMode::height_scale) {
        line += "　平均標高Ｈ＝" + metres_text(s.reduction.mean_height, 3) + " m";
        line += "　ジオイド高Ｎ＝" + metres_text(s.reduction.geoid_height, 3) + " m";
        line += "　Ｒ＝" + metres_text(kHeightReductionRadius, 0) + " m";
    }
    line += "　Ｒ０＝" + metres_text(s.reduction.mean_radius, 3) + " m";
    line += "　ｍ０＝" + metres_text(kPlaneCentralScale, 4);
    return line;
}

}  // namespace marula
