#include "bounded_entry.h"

#include <cmath>
#include <limits>

#include "entry_detail.h"
#include "survey/survey.h"

namespace marula {

namespace {

// An empty answer reaches the loop below as this value when the caller
// takes empty answers itself (an offer, or "work it out later"): the
// runtime hands a preset back for an empty answer, and a typed answer is
// never NaN (the runtime refuses text that is not a finite number).
constexpr double kEmptyAnswer = std::numeric_limits<double>::quiet_NaN();

// The one loop every numeric answer goes through: read, check the bounds
// and then `valid` (which shows its own notice when it refuses). With
// `empty_allowed`, an empty answer gives nothing (and `preset` is unused).
template <typename Valid>
std::optional<double> ask_checked_answer(Runtime& rt, int column, std::string_view prompt, int color,
                                         const NumberBounds& bounds, std::optional<double> preset, Valid valid,
                                         bool empty_allowed = false) {
    const std::optional<double> on_empty = empty_allowed ? std::optional(kEmptyAnswer) : preset;
    for (;;) {
        const double value = detail::ask_number(rt, column, prompt, on_empty, color);
        if (empty_allowed && std::isnan(value)) return std::nullopt;
        if (!bounds.holds(value)) {
            rt.notice(value < bounds.high ? bounds.below : bounds.above);
            continue;
        }
        if (valid(value)) return value;
    }
}

template <typename Valid>
double ask_checked(Runtime& rt, int column, std::string_view prompt, int color, const NumberBounds& bounds,
                   std::optional<double> preset, Valid valid) {
    return *ask_checked_answer(rt, column, prompt, color, bounds, preset, valid);
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

double take_offered_value(Runtime& rt, std::string_view offer, std::optional<long> mark) {
    // Journaled as if typed, so a replay never depends on what the job
    // holds later.
    if (mark) rt.answer_taken_as(offer, *mark);
    else rt.answer_taken_as(offer);
    // Read as the runtime reads a typed answer; an offer is always a number.
    return parse_number(offer).value_or(0.0);
}

std::string offering_prompt(std::string_view prompt, std::string_view offer, int column) {
    const std::string bracketed = "〔" + std::string(offer) + "〕";
    int offer_width = 0;
    for (const std::string& ch : split_chars(bracketed)) offer_width += char_width(decode_char(ch));
    // The prompt is cut first so that the offer itself is never cut.
    return detail::fit_prompt(prompt, column + offer_width) + bracketed;
}

std::optional<double> ask_bounded_number_or_empty(Runtime& rt, int column, std::string_view prompt,
                                                  const NumberBounds& bounds) {
    return ask_checked_answer(rt, column, prompt, kPromptColor, bounds, std::nullopt, [](double) { return true; },
                              true);
}

OfferedAnswer ask_offered_number(Runtime& rt, int column, std::string_view prompt, const NumberBounds& bounds,
                                 const std::string& offer) {
    const auto typed = ask_bounded_number_or_empty(rt, column, offering_prompt(prompt, offer, column), bounds);
    if (typed) return {*typed, false};
    return {take_offered_value(rt, offer), true};
}

AngleEntry ask_offered_angle(Runtime& rt, int column, std::string_view prompt, AngleKind kind, double nudge_in,
                             double nudge_out, const std::string& offer, bool* offer_taken) {
    const auto typed = ask_checked_answer(rt, column, offering_prompt(prompt, offer, column), kPromptColor,
                                          kPackedAngleBounds, std::nullopt, packed_minutes_and_seconds(rt, nudge_in),
                                          true);
    const double packed = typed ? *typed : take_offered_value(rt, offer);
    if (offer_taken) *offer_taken = !typed;
    return *read_angle(packed, kind, nudge_in, nudge_out);
}

std::optional<AngleEntry> ask_angle_or_empty(Runtime& rt, int column, std::string_view prompt, AngleKind kind,
                                             double nudge_in, double nudge_out) {
    const auto packed = ask_checked_answer(rt, column, prompt, kPromptColor, kPackedAngleBounds, std::nullopt,
                                           packed_minutes_and_seconds(rt, nudge_in), true);
    if (!packed) return std::nullopt;
    return read_angle(*packed, kind, nudge_in, nudge_out);
}

}  // namespace marula
