// Numeric answers that must fit the fields they are shown and printed in.
// A value no survey could have (a slip of the keyboard, 1e308 say) would
// only smear its row with overflow marks and carry into every later point;
// it is refused with a notice on the prompt row and asked again.
#pragma once

#include <optional>
#include <string_view>

#include "entry.h"
#include "runtime/runtime.h"

namespace marula {

// Coordinates in metres: the table's "########.###" holds eight whole digits.
inline constexpr double kCoordinateLimit = 1e8;
inline constexpr std::string_view kCoordinateTooLarge = "座標が大きすぎます。もう一度入力して下さい。";

// Leg lengths in metres: the table's "####.###" holds four whole digits.
inline constexpr double kDistanceLimit = 1e4;
inline constexpr std::string_view kDistanceTooLarge = "距離が大きすぎます。もう一度入力して下さい。";

// Packed angles: the degrees field "####" holds four digits. Angles of a
// turn or more stay allowed below that.
inline constexpr double kAngleLimit = 1e4;
inline constexpr std::string_view kAngleTooLarge = "角度が大きすぎます。もう一度入力して下さい。";

// Asks at `column` of row 23 until an answer of magnitude below `limit` is
// typed; a larger one shows `refusal` and the question again. An empty
// answer takes `preset` when given (the value already standing).
double ask_number_below(Runtime& rt, int column, std::string_view prompt, double limit, std::string_view refusal,
                        std::optional<double> preset = std::nullopt);

inline double ask_coordinate_entry(Runtime& rt, int column, std::string_view prompt,
                                   std::optional<double> preset = std::nullopt) {
    return ask_number_below(rt, column, prompt, kCoordinateLimit, kCoordinateTooLarge, preset);
}
inline double ask_distance_entry(Runtime& rt, int column, std::string_view prompt) {
    return ask_number_below(rt, column, prompt, kDistanceLimit, kDistanceTooLarge);
}

// ask_angle (minutes and seconds of 60 or more refused) held below
// kAngleLimit as well.
AngleEntry ask_angle_entry(Runtime& rt, int column, std::string_view prompt, AngleKind kind, double nudge_in,
                           double nudge_out);

}  // namespace marula
