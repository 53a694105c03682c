// Every numeric answer a program reads: a coordinate, a distance, a chord,
// a packed angle or direction, each held to the bounds of the fields it is
// shown and printed in. A value no survey could have (a slip of the
// keyboard, 1e308 say) would only smear its row with overflow marks and
// carry into every later point; a negative length would cancel a leg out
// of the total. Such an answer is refused with its notice on the prompt row
// and the same question is asked again; nothing is stored until a value
// within the bounds is typed. Text that is not a number at all is refused
// the same way by the runtime.
//
// Programs read numbers only through these functions (the unchecked reads
// are the frame's own), so every number a program holds has been checked.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "entry.h"
#include "runtime/runtime.h"

namespace marula {

// The values an answer may take: above `low` (or equal to it when
// `low_included`) and below `high`, with the notice for each side.
struct NumberBounds {
    double low = 0;
    bool low_included = false;
    double high = 0;
    std::string_view below;  // the notice for a value at or under the low end
    std::string_view above;  // the notice for a value at or over the high end

    bool holds(double value) const {
        return (low_included ? value >= low : value > low) && value < high;
    }
};

// Coordinates in metres: the table's "########.###" holds eight whole digits.
inline constexpr double kCoordinateLimit = 1e8;
inline constexpr std::string_view kCoordinateTooLarge = "座標が大きすぎます。もう一度入力して下さい。";
inline constexpr NumberBounds kCoordinateBounds{-kCoordinateLimit, false, kCoordinateLimit, kCoordinateTooLarge,
                                                kCoordinateTooLarge};

// Leg lengths in metres: the table's "####.###" holds four whole digits,
// and a length is never negative.
inline constexpr double kDistanceLimit = 1e4;
inline constexpr std::string_view kDistanceTooLarge = "距離が大きすぎます。もう一度入力して下さい。";
inline constexpr std::string_view kDistanceNegative = "距離は0以上で入力して下さい。";
inline constexpr NumberBounds kDistanceBounds{0, true, kDistanceLimit, kDistanceNegative, kDistanceTooLarge};

// The chord that cuts a corner: a length in the same field as a leg, and
// more than nothing.
inline constexpr std::string_view kChordRefusal = "隅切辺長は０より大きい値を入力して下さい。";
inline constexpr NumberBounds kChordBounds{0, false, kDistanceLimit, kChordRefusal, kDistanceTooLarge};

// Packed angles and directions: the degrees field "####" holds four
// digits. Angles of a turn or more stay allowed below that, and so do
// negative azimuths and directions above its negative.
inline constexpr double kAngleLimit = 1e4;
inline constexpr std::string_view kAngleTooLarge = "角度が大きすぎます。もう一度入力して下さい。";
inline constexpr NumberBounds kPackedAngleBounds{-kAngleLimit, false, kAngleLimit, kAngleTooLarge, kAngleTooLarge};

// Asks at `column` of row 23 until an answer within `bounds` is typed. An
// empty answer takes `preset` when given (the value already standing).
double ask_bounded_number(Runtime& rt, int column, std::string_view prompt, const NumberBounds& bounds,
                          std::optional<double> preset = std::nullopt);

inline double ask_coordinate_entry(Runtime& rt, int column, std::string_view prompt,
                                   std::optional<double> preset = std::nullopt) {
    return ask_bounded_number(rt, column, prompt, kCoordinateBounds, preset);
}

// A distance of 0 or more. Where a leg must have a length, `zero_refusal`
// is shown for 0 and the question asked again.
double ask_distance_entry(Runtime& rt, int column, std::string_view prompt,
                          std::optional<std::string_view> zero_refusal = std::nullopt);

// The chord of a corner cut, 0 < c < kDistanceLimit; an empty answer keeps
// `preset`.
inline double ask_chord_entry(Runtime& rt, int column, std::string_view prompt, double preset) {
    return ask_bounded_number(rt, column, prompt, kChordBounds, preset);
}

// A packed angle within kPackedAngleBounds whose minutes and seconds are
// below 60 (kAngleRefusal otherwise), converted as read_angle converts it.
// An empty answer takes `preset` (a packed value) when one is given.
AngleEntry ask_angle_entry(Runtime& rt, int column, std::string_view prompt, AngleKind kind, double nudge_in,
                           double nudge_out, std::optional<double> preset = std::nullopt);

// A packed direction held as typed (its reading is the caller's): the
// bounds and minutes and seconds of ask_angle_entry, asked at `column` with
// the prompt and the answer in `color`. Returns the packed value.
double ask_packed_entry(Runtime& rt, int column, std::string_view prompt, int color, double nudge_in,
                        std::optional<double> preset = std::nullopt);

// ---- offered values ----------------------------------------------------
// A value the job offers (a stored coordinate, an azimuth worked out from
// coordinates) stands after the prompt text in 〔〕 ("既知点Ｘ座標は
// 〔-36012.345〕"); an empty answer takes it, a typed number wins. The
// offer is text, exactly as it would be typed, and an empty answer reads
// it exactly as typing it would: screens and sheets are those of typing it.

// The one place where an offered value is taken in place of an empty
// answer: the number `offer` reads as when typed.
// It is journaled as if typed: at the empty answer given last, or at
// `mark` (Runtime::answer_mark) for one taken later than its answer.
double take_offered_value(Runtime& rt, std::string_view offer, std::optional<long> mark = std::nullopt);

// The prompt with the offer after it, cut so that the offer and room for
// the answer stay on the prompt row.
std::string offering_prompt(std::string_view prompt, std::string_view offer, int column);

// A numeric answer within `bounds` that may be left empty: nothing for an
// empty answer (the caller decides what it means).
std::optional<double> ask_bounded_number_or_empty(Runtime& rt, int column, std::string_view prompt,
                                                  const NumberBounds& bounds);

// A numeric answer within `bounds`, the offer standing after the prompt;
// an empty answer takes it.
struct OfferedAnswer {
    double value = 0;
    bool offer_taken = false;  // true when an empty answer took the offer
};
OfferedAnswer ask_offered_number(Runtime& rt, int column, std::string_view prompt, const NumberBounds& bounds,
                                 const std::string& offer);

// A packed angle as ask_angle_entry asks it, with `offer` (a packed value
// as typed) taken by an empty answer (`offer_taken`, when given, says so).
AngleEntry ask_offered_angle(Runtime& rt, int column, std::string_view prompt, AngleKind kind, double nudge_in,
                             double nudge_out, const std::string& offer, bool* offer_taken = nullptr);

// A packed angle that may be left empty: nothing when the answer is empty
// (the caller works the value out later), else as ask_angle_entry.
std::optional<AngleEntry> ask_angle_or_empty(Runtime& rt, int column, std::string_view prompt, AngleKind kind,
                                             double nudge_in, double nudge_out);

}  // namespace marula
