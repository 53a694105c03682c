#include "bounded_entry.h"

#include "entry_detail.h"
#include "survey/survey.h"

namespace marula {

namespace {

// The one loop every numeric answer goes through: read, check the bounds
// and then `valid` (which shows its own notice when it refuses).
template <typename Valid>
double ask_checked(Runtime& rt, int column, std::string_view prompt, int color, const NumberBounds& bounds,
                   std::optional<double> preset, Valid valid) {
    for (;;) {
        const double value = detail::ask_number(rt, column, prompt, preset, color);
        if (!bounds.holds(value)) {
            rt.notice(value < bounds.high ? bounds.below : bounds.above);
            continue;
        }
        if (valid(value)) return value;
    }
}

// Minutes and seconds below 60, as the survey library splits the value.
auto packed_minutes_and_seconds(Runtime& rt, double nudge_in) {
    return [&rt, nudge_in](double packed) {
        if (packed_angle_is_valid(packed, nudge_in)) return true;
        rt.notice(kAngleRefusal);
        return false;
    };
}

}  // namespace

double ask_bounded_number(Runtime& rt, int column, std::string_view prompt, const NumberBounds& bounds,
                          std::optional<double> preset) {
    return ask_checked(rt, column, prompt, kPromptColor, bounds, preset, [](double) { return true; });
}

double ask_distance_entry(Runtime& rt, int column, std::string_view prompt,
                          std::optional<std::string_view> zero_refusal) {
    return ask_checked(rt, column, prompt, kPromptColor, kDistanceBounds, std::nullopt, [&](double d) {
        if (d != 0 || !zero_refusal) return true;
        rt.notice(*zero_refusal);
        return false;
    });
}

AngleEntry ask_angle_entry(Runtime& rt, int column, std::string_view prompt, AngleKind kind, double nudge_in,
                           double nudge_out, std::optional<double> preset) {
    const double packed = ask_packed_entry(rt, column, prompt, kPromptColor, nudge_in, preset);
    return *read_angle(packed, kind, nudge_in, nudge_out);
}

double ask_packed_entry(Runtime& rt, int column, std::string_view prompt, int color, double nudge_in,
                        std::optional<double> preset) {
    return ask_checked(rt, column, prompt, color, kPackedAngleBounds, preset,
                       packed_minutes_and_seconds(rt, nudge_in));
}

}  // namespace marula
