// What the four intersection programs draw alike: the framed headings of
// their forms, the result block with the crossing and its distances, the
// correction question with its hint and the report's crossing lines.
//
// The arithmetic they share is in crossing.h; the key bars, entries, the
// small plot, the report's page head and the wrong-entry notice are the
// calculation frame's.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "frame/plot.h"
#include "frame/point_form.h"
#include "frame/screen.h"
#include "intersection/crossing.h"
#include "frame/calculation.h"
#include "runtime/runtime.h"
#include "survey/survey.h"

namespace marula::isect {

// Shown in place of the crossing's coordinates (and printed in place of
// the crossing lines) when the two lines do not meet.
inline constexpr std::string_view kNoCrossing = "２直線は交わりません。";

// Shown in place of the crossing when the two points that should fix a
// line stand in one place, so there is no line to cross.
inline constexpr std::string_view kNoLine = "直線の２点が同じ位置です。";
// The notice when such points are typed; the second one is asked again.
inline constexpr std::string_view kSamePlace = "直線の２点が同じ位置です。入れ直して下さい。";

// Colours of the result block.
inline constexpr int kResultColor = 1;
inline constexpr int kDistanceColor = 4;

// One of a typed point's three fields in its cell (see show_point_field).
inline void show_known_field(Runtime& rt, const PointPlace& at, const NamedPoint& p, int field, int color)
{
    show_point_field(rt, at, p.name, p.at.x, p.at.y, field, color);
}

// Field `field` of point `p` asked again with `prompts` (0 the name, 1 X,
// 2 Y); an empty answer keeps what stands. A corrected coordinate takes
// `nudge` on its axis right after it is typed.
void correct_point_field(Runtime& rt, NamedPoint& p, int field, const PointPrompts& prompts, PointNudge nudge);

// A heading's frame: the `inner` box in `inner_color`, a box one pixel
// larger on the right and below in `outer_color`, and a shadow of depth 3
// in `shadow_color` under and right of it.
void heading_box(Runtime& rt, Rect inner, int inner_color, int outer_color, int shadow_color);

// Whether two points stand in one place as far as the form shows them:
// less than half a millimetre apart in X and in Y. The stored nudges
// differ from point to point, so exact equality is not the test.
bool same_place(Point a, Point b);

// A direction typed as a packed angle (DDD.MMSS) and kept as typed plus
// every addition made to it since.
struct Direction {
    double packed = 0;  // the stored packed value
    Dms dms;            // whole degrees, minutes and seconds shown
    double degrees = 0; // decimal degrees for the arithmetic
};

// Reads the stored packed value as an azimuth with 0.0000001 going in and
// 0.00000001 coming out; the input nudge stays in the stored value, so
// every reading adds it once more. A negative value is read as the
// direction that far anticlockwise of north and stored as its positive
// packed form.
void convert(Direction& direction);

// Asks for a packed direction at column 5 of the prompt row, the prompt
// and the answer in `color`, through the frame's packed entry: a magnitude
// of 10000 or more, or minutes or seconds of 60 or more, are refused with
// a notice and asked again; an empty answer takes `preset` when given.
// Returns the packed value as typed.
double ask_direction(Runtime& rt, std::string_view prompt, int color, std::optional<double> preset);

// The result block. At (40, row) in colour 1, style 0:
// "&    &Ｘ=#######.###  Ｙ=######.###" with the crossing's name, X and Y;
// from two rows below, in colour 4 at column 45, one line per known point:
// "&    &～ &    &   L=####.###". Lines that do not meet show the name and
// `failure` (kNoCrossing, or kNoLine) in the warning colour and no
// distance lines. Leaves colour 0, style 4.
void show_result(Runtime& rt, int row, std::string_view name, const std::optional<Point>& crossing,
                 std::span<const NamedPoint> known, std::string_view failure = kNoCrossing);

// The small plot's window and viewport fitted to the four entries of a
// form (the construction points of a line count, though not drawn).
Plot start_plot(Runtime& rt, std::span<const Point, 4> extent);

// The correction question of the forms: "交点名訂正＝ N" (the number that
// corrects the crossing's name) at column 30 of `hint_row` in colour 3,
// then the frame's field question until one of 1 … N is typed.
int ask_correction(Runtime& rt, int fields, int hint_row);

// The crossing (or foot) under its name, to store in the job, when the
// lines met; nothing otherwise.
std::vector<NamedPoint> crossing_to_store(std::string_view name, const std::optional<Point>& crossing);

// Point k's X and Y asked with `prompts`, offered from the job when it
// holds the point's name, each set into `p` and shown with `show(field)`
// as it comes (field 1 X, 2 Y). `presets` are what an empty answer keeps
// otherwise (the demonstration values and what stands), or nothing. True
// when an empty answer took a preset.
bool enter_known_coordinates(Calculation& calc, NamedPoint& p, const PointPrompts& prompts, bool presets,
                             const std::function<void(int)>& show);

// The crossing lines of a report: three (isect4p: two) empty lines before
// come from the caller. `crossing_format` holds the name, X and Y fields;
// then an empty line and one distance line per known point with
// "                            &    &～ &    &   L=####.###". Lines that do
// not meet print the crossing's name and `failure` instead, and no
// distance lines.
void report_crossing(Runtime& rt, std::string_view crossing_format, std::string_view name,
                     const std::optional<Point>& crossing, std::span<const NamedPoint> known,
                     std::string_view failure = kNoCrossing);

}  // namespace marula::isect
