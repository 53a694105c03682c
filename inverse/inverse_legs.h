// What the chained and the radial inverse share: the leg from one point to
// another (its stored coordinate differences, distance and azimuth) and the
// table both programs draw it in.
//
// A leg keeps its ΔX and ΔY apart. A correction of an X recomputes ΔX only
// and keeps the stored ΔY (and the reverse for a Y), then the distance and
// azimuth follow from the two stored differences:
//
//     Leg leg = compute_leg(from, to);         // at entry
//     set_leg_delta_x(leg, from.x, to.x);      // after a corrected X
//     finish_leg(leg);
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "frame/screen.h"
#include "frame/calculation.h"
#include "frame/job_settings.h"
#include "runtime/runtime.h"
#include "survey/survey.h"

namespace marula::inverse {

struct Leg {
    // X(to) − X(from) + 1e-7 and Y(to) − Y(from) + 1e-7 (the single 1e-7
    // widened): the offsets keep ΔX off zero, so the azimuth is always
    // defined, and they are kept in what the report prints.
    double delta_x = 0;
    double delta_y = 0;
    double distance = 0;  // √(ΔX² + ΔY²) from the stored differences, metres
    double azimuth = 0;   // degrees from +X clockwise, with a net +1e-5 nudge
    Dms dms;              // the azimuth split for display (seconds truncated)
};

// The leg from `from` to `to`: both differences, distance and azimuth.
Leg compute_leg(const NamedPoint& from, const NamedPoint& to);
// Only one stored difference again, from the two coordinates given.
void set_leg_delta_x(Leg& leg, double x_from, double x_to);
void set_leg_delta_y(Leg& leg, double y_from, double y_to);
// Distance, azimuth and its split from the stored differences.
void finish_leg(Leg& leg);

// ---- the table both programs draw ----------------------------------------
// Legs stand on text rows 3-20: table row r (1-18) on row r + 2.
inline constexpr int kFirstTableRow = 3;
inline constexpr int kMaxLegs = 18;
inline constexpr int kMaxPoints = kMaxLegs + 1;
inline constexpr std::string_view kColumnNumbers =
    "       1      2          3        4          5          6      ";
inline int text_row(int table_row) { return table_row + 2; }

// The row number "##" at column 0 in colour 1.
void show_row_number(Runtime& rt, int table_row);
// Columns 1-3 (name, X, Y at text columns 3, 9, 21) and columns 4-6
// (text columns 32, 39, 51): X with seven integer places, Y with six.
void show_from_name(Runtime& rt, int table_row, std::string_view name, int color);
void show_from_x(Runtime& rt, int table_row, double x, int color);
void show_from_y(Runtime& rt, int table_row, double y, int color);
void show_to_name(Runtime& rt, int table_row, std::string_view name, int color);
void show_to_x(Runtime& rt, int table_row, double x, int color);
void show_to_y(Runtime& rt, int table_row, double y, int color);
void show_from_point(Runtime& rt, int table_row, const NamedPoint& p, int color);
void show_to_point(Runtime& rt, int table_row, const NamedPoint& p, int color);
// The azimuth as "###-##-##" from column 62 and the distance "####.###" at
// column 72 (the leg's own, or `distance` when given). Colour 15 with the
// hidden style blanks a leg about to change.
void show_leg(Runtime& rt, int table_row, const Leg& leg, int color, int style = kStyleNormal,
              std::optional<double> distance = std::nullopt);

// ---- the job's settings -------------------------------------------------------
// The table's distances: the plane distances as computed, or, once F5 has
// turned them with the job's reduction on, the ground distances D for
// setting out (the line factor from the leg's two ends' own Y).
class ShownDistances {
public:
    explicit ShownDistances(Calculation& calc) : calc_(calc) {}
    // F5: with reduction the table turns to the other distance; without
    // it the plane distances stay.
    void turn() { ground_ = calc_.settings().reducing() && !ground_; }
    bool ground() const { return ground_; }
    // The distance to show of a leg between points of plane Y y1 and y2.
    double of(const Leg& leg, double y1, double y2) const;
    // The redisplay's heading with its 距 離 read as 地上距離 while ground
    // distances stand.
    std::string heading(const std::string& redisplay_heading) const;

private:
    Calculation& calc_;
    bool ground_ = false;
};

// What the job's settings add to a report: after each leg's distance the
// ground distance (reduction on) and, when `tolerance`, the cadastral
// distance tolerance of the plane distance to the mm; the heading gains
// their names; under the table the settings they were made with. All empty
// with the default settings.
std::string report_heading_extras(const CalculationSettings& settings, bool tolerance);
std::string report_leg_extras(const CalculationSettings& settings, bool tolerance, const Leg& leg, double y1,
                              double y2);
void report_settings_lines(Runtime& rt, const CalculationSettings& settings, bool tolerance);

// ---- entry ------------------------------------------------------------------
// Row 1's number, which stands before the first point is asked.
void show_first_row_number(Runtime& rt);
// The first point, asked as `what` + "名は", `what` + "Ｘ座標は " and
// `what` + "Ｙ座標は ", each shown in row 1's first columns in `color`;
// the first prompt of the point sequence (a range or a parcel may start
// there).
NamedPoint ask_first_station(Calculation& calc, std::string_view what, int color);
// A further point's X and Y ("Ｘ座標は ", "Ｙ座標は "), each shown in table
// row `table_row`'s last point columns in `color` once typed.
void ask_to_coordinates(Calculation& calc, int table_row, NamedPoint& p, int color);

// The plot of either program: the first point a filled circle of two
// marker units in colour 5, the others circles of one unit in colour 0,
// lines in colour 0 (`radial`: from the first point to every other one;
// otherwise from each point to the next), every name, then the direction
// mark. A lone point gets a window 1 m wide round it.
void plot_points(Runtime& rt, std::span<const NamedPoint> points, bool radial);

// The report heading line both programs print.
inline constexpr std::string_view kReportHeading =
    "      　座標名　   　Ｘ１　　   Ｙ１ 　 座標名　  　  Ｘ２　　   Ｙ２　  　  △X　  　 △Y　　 　方向角　   　距 離";
// The first half of a report line with only its first point, for a list
// that ended before any leg: the entered point and nothing more.
void report_lone_point(Runtime& rt, const NamedPoint& p);

}  // namespace marula::inverse
