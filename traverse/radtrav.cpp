// Radial traverse: every observed point fixed from the one instrument point
// by its included angle (clockwise from the backsight) and its distance.
// Each point hangs on the instrument point alone, so a change to one point
// never moves another.
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "frame/bounded_entry.h"
#include "frame/frame.h"
#include "frame/calculation.h"
#include "frame/point_list.h"
#include "survey/survey.h"
#include "traverse/reduced_legs.h"
#include "traverse/reduction_sheet.h"
#include "traverse/unadjusted.h"

namespace marula {
namespace {

// The printed page: its paper, title, by-line and spacing.
constexpr ReportLayout kReport{
    .title = "                   放射トラバ－ス",
    .by_line = "          By MARULA   ",
    .body_pitch = {131, 240},
    .empty_after_title = 1,
};

constexpr int kLimit = 18;              // observed points
constexpr int kLastIndex = kLimit + 1;  // 0 backsight, 1 instrument point, 2 … 19 observed points
constexpr int kSize = kLastIndex + 1;

const Title kTitle{" 放射ﾄﾗﾊﾞ-ｽ（計算は１８点迄です） ", 40, 0, {321, 0, 590, 16}, {320, 0, 591, 17}};
const Heading kHeading{
    "         1           2          3          4            5             6", 0, 1,
    "  番号  点名　 　  狭 角　　  距 離　  　方向角　 　   Ｘ座標　  　　Ｙ座標    ", 0, 2, {0, 36, 632, 53}};

constexpr std::string_view kAzimuthPrompt = "方向角は（機械点から後視点へ例えば20度25分12秒は20.2512と入力）  ";
constexpr std::string_view kAnglePrompt = "夾角は（後視を基準に右まわり）  ";

// Text columns; table row j stands on text row j + 3.
constexpr int kNumberCol = 1, kNameCol = 7, kAngleCol = 14, kDistanceCol = 29, kAzimuthCol = 39, kXCol = 53,
              kYCol = 65;
constexpr std::string_view kAngleField = "####°##′##″";
constexpr std::string_view kCoordinate = "########.###";

constexpr int kGivenColor = 1;    // backsight and instrument rows as typed
constexpr int kPointColor = 0;    // observed points
constexpr int kChangedColor = 4;  // values typed or recomputed by a correction

class RadialTraverse {
public:
    explicit RadialTraverse(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, kTitle);
        show_reduction_label(rt_, calc_.settings());
        draw_heading(rt_, kHeading, 0);
        rt_.console(3, 20);
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.plot = [this] { plot(); };
        keys.print = [this] { report(); };
        keys.redisplay = [this] { redisplay(); };
        // After the last point the program shows the plot at once.
        bool full = false;
        run_calculation(calc_, {.bar = KeyBar::Table,
                                .enter = [&] { full = enter(); },
                                .computed = [this] { return computed_points(); },
                                .opening =
                                    [&] {
                                        if (full) run_key_action(rt_, KeyBar::Table, KeyAction::Plot, keys);
                                    },
                                .keys = keys});
    }

private:
    // ---- input sequence ------------------------------------------------
    // True when the point limit ended the list.
    bool enter() {
        names_[0] = ask_text(rt_, 5, "後視点名は  ");
        show_row_number(0);
        show_name(0, kGivenColor);
        // An empty answer, when the job holds the backsight, leaves the
        // azimuth to the coordinates once the instrument point has them.
        const std::optional<AngleEntry> typed_start =
            ask_starting_azimuth(calc_, 2, kAzimuthPrompt, names_[0], AngleKind::azimuth, kNudge1e7, kNudge1e7);
        if (typed_start) {
            backsight_ = *typed_start;
            show_backsight_azimuth(kGivenColor);
        }
        const KnownPoint instrument = ask_known_point(calc_, {.name_prompt = "機械点名は", .x_prompt = "機械点Ｘ座標は ", .y_prompt = "機械点Ｙ座標は "},
            {.name =
                 [&](const std::string& name) {
                     names_[1] = name;
                     show_row_number(1);
                     show_name(1, kGivenColor);
                 },
             .x = [&](double x) { show_coordinate(1, kXCol, x, kGivenColor); },
             .y = [&](double y) { show_coordinate(1, kYCol, y, kGivenColor); }});
        x_[1] = instrument.at.x;
        y_[1] = instrument.at.y;
        if (!typed_start) {
            backsight_ = azimuth_to_backsight(calc_, 2, kAzimuthPrompt, names_[0], x_[1], y_[1], AngleKind::azimuth,
                                              kNudge1e7, kNudge1e7);
            show_backsight_azimuth(kGivenColor);
        }

        for (int j = 2;; ++j) {
            std::string name = ask_list_name(rt_);
            if (ends_point_list(name)) return false;
            names_[j] = name;
            show_row_number(j);
            show_name(j, kPointColor);
            angles_[j] = ask_angle_entry(rt_, 5, kAnglePrompt, AngleKind::included, kNudge1e7, 0);
            show_angle(j, kPointColor);
            azimuths_[j] = radial_azimuth(backsight_.degrees, angles_[j].degrees);
            show_azimuth(j, kPointColor);
            distances_[j] = ask_distance_entry(rt_, 5, "距離は  ");
            show_distance(j, kPointColor);
            place(j);
            show_coordinate(j, kXCol, x_[j], kPointColor);
            show_coordinate(j, kYCol, y_[j], kPointColor);
            last_ = j;
            if (j == kLastIndex) {
                show_limit_message(rt_, kLimit);
                return true;
            }
        }
    }

    // ---- calculation ---------------------------------------------------
    // Point j from the instrument point along its own azimuth and distance:
    // as typed, or with the job's reduction the plane distance s from a
    // first pass along the azimuth.
    void place(int j) {
        reduce_radial_legs(calc_.settings().reduction, y_[1], azimuths_, distances_, reduced_, j, j);
        plane_distances(reduced_, plane_, j, j);
        LegOffset o = leg_offset(plane_[j], azimuths_[j]);
        dx_[j] = o.dx;
        dy_[j] = o.dy;
        x_[j] = x_[1] + dx_[j];
        y_[j] = y_[1] + dy_[j];
    }

    // ---- display -------------------------------------------------------
    static int text_row(int row) { return row + 3; }

    void show_row_number(int row) {
        echo_number(rt_, kNumberCol, text_row(row), "###", row, kRowNumberColor, kStyleNormal);
    }
    void show_name(int row, int color) {
        echo_name(rt_, kNameCol, text_row(row), names_[row], color, kStyleNormal, row <= 1 ? "&    &" : "&     &");
    }
    void show_triple(int column, int row, double d, double m, double s, int color, int style) {
        rt_.color(color, style);
        rt_.locate(column, text_row(row));
        rt_.print_using(kAngleField, {d, m, s});
        rt_.color(kPromptColor, kStyleNormal);
    }
    void show_backsight_azimuth(int color) {
        show_triple(kAzimuthCol, 0, backsight_.d, backsight_.m, backsight_.s, color, kStyleNormal);
    }
    void show_angle(int row, int color) {
        const AngleEntry& a = angles_[row];
        show_triple(kAngleCol, row, a.d, a.m, a.s, color, kStyleNormal);
    }
    void show_azimuth(int row, int color, int style = kStyleNormal) {
        Dms dms = degrees_to_dms_b(azimuths_[row]);
        show_triple(kAzimuthCol, row, dms.degrees, dms.minutes, dms.seconds, color, style);
    }
    void show_distance(int row, int color) {
        echo_number(rt_, kDistanceCol, text_row(row), "####.###", distances_[row], color);
    }
    void show_coordinate(int row, int column, double value, int color, int style = kStyleNormal) {
        echo_number(rt_, column, text_row(row), kCoordinate, value, color, style);
    }

    // The computed columns of rows first … last: azimuth, X and Y as asked;
    // colour 15 in the hidden style erases them.
    void show_computed(int first, int last, bool azimuth, bool x, bool y, int color) {
        int style = color == kHiddenColor ? kStyleHidden : kStyleNormal;
        for (int j = first; j <= last; ++j) {
            if (azimuth) show_azimuth(j, color, style);
            if (x) show_coordinate(j, kXCol, x_[j], color, style);
            if (y) show_coordinate(j, kYCol, y_[j], color, style);
        }
    }

    void redisplay() {
        rt_.cls(0);
        show_reduction_label(rt_, calc_.settings());
        draw_heading(rt_, kHeading, 1);
        show_row_number(0);
        show_name(0, kGivenColor);
        show_backsight_azimuth(kGivenColor);
        show_row_number(1);
        show_name(1, kGivenColor);
        show_coordinate(1, kXCol, x_[1], kGivenColor);
        show_coordinate(1, kYCol, y_[1], kGivenColor);
        for (int j = 2; j <= last_; ++j) {
            show_row_number(j);
            show_name(j, kPointColor);
            show_angle(j, kPointColor);
            show_distance(j, kPointColor);
            show_computed(j, j, true, true, true, kPointColor);
        }
    }

    // ---- correction ----------------------------------------------------
    // Angles and distances belong to observed points only.
    static bool needs_point_row(int column) { return column == 2 || column == 3; }

    bool row_fits(int column, int row) const {
        if (row < 0 || row > last_) return false;
        if (needs_point_row(column)) return row >= 2;
        if (column == 4) return row == 0;
        if (column == 5 || column == 6) return row == 1;
        return true;
    }

    void correct() {
        TableCorrection rules;
        rules.columns = 6;
        // With no observed point an angle or distance column has no row that
        // could fit: it is refused as soon as it is chosen, rather than
        // asking for a row for ever.
        rules.column_fits = [this](int c) { return last_ >= 2 || !needs_point_row(c); };
        rules.row_fits = [this](int c, int r) { return row_fits(c, r); };
        const std::optional<CellChoice> chosen = ask_table_cell(rt_, rules);
        if (!chosen) return;
        const CellChoice cell = *chosen;
        const int j = cell.row;
        switch (cell.column) {
            case 1: correct_name(j); break;
            case 2: correct_angle(j); break;
            case 3: correct_distance(j); break;
            case 4: correct_backsight_azimuth(); break;
            case 5: correct_instrument(true); break;
            case 6: correct_instrument(false); break;
        }
    }

    // The observed points 2 … n (point 1 is the instrument point, given).
    std::vector<NamedPoint> computed_points() const {
        std::vector<NamedPoint> points;
        for (int j = 2; j <= last_; ++j) points.push_back({names_[j], {x_[j], y_[j]}});
        return points;
    }

    void correct_name(int j) {
        show_name(j, kOldValueColor);
        names_[j] = ask_text(rt_, 0, "正しい文字は  ");
        show_name(j, kChangedColor);
    }

    void correct_angle(int j) {
        show_angle(j, kOldValueColor);
        show_computed(j, j, true, true, true, kHiddenColor);
        angles_[j] = ask_angle_entry(rt_, 0, "正しい狭角は（後視を基準に右まわり） ", AngleKind::included, kNudge1e7, 0);
        show_angle(j, kChangedColor);
        azimuths_[j] = radial_azimuth(backsight_.degrees, angles_[j].degrees);
        place(j);
        show_computed(j, j, true, true, true, kChangedColor);
    }

    void correct_distance(int j) {
        show_distance(j, kOldValueColor);
        show_computed(j, j, false, true, true, kHiddenColor);
        distances_[j] = ask_distance_entry(rt_, 5, "正しい距離は  ");
        show_distance(j, kChangedColor);
        place(j);
        show_computed(j, j, false, true, true, kChangedColor);
    }

    void correct_backsight_azimuth() {
        show_backsight_azimuth(kOldValueColor);
        show_computed(2, last_, true, true, true, kHiddenColor);
        backsight_ = ask_angle_entry(rt_, 0, "正しい方向角は（機械点から後視点へ)   ", AngleKind::azimuth, kNudge1e7,
                               kNudge1e7);
        show_backsight_azimuth(kChangedColor);
        for (int j = 2; j <= last_; ++j) {
            azimuths_[j] = radial_azimuth(backsight_.degrees, angles_[j].degrees);
            place(j);
        }
        show_computed(2, last_, true, true, true, kChangedColor);
    }

    // A new Y moves reduced shots' scale, and so every X as well.
    void correct_instrument(bool is_x) {
        double& value = is_x ? x_[1] : y_[1];
        int column = is_x ? kXCol : kYCol;
        const bool rescaled = !is_x && calc_.settings().reducing();
        show_coordinate(1, column, value, kOldValueColor);
        show_computed(2, last_, false, is_x || rescaled, !is_x, kHiddenColor);
        value = ask_coordinate_entry(rt_, 5, is_x ? "正しい機械点Ｘ座標は " : "正しい機械点Ｙ座標は ");
        show_coordinate(1, column, value, kChangedColor);
        for (int j = 2; j <= last_; ++j) place(j);
        show_computed(2, last_, false, is_x || rescaled, !is_x, kChangedColor);
    }

    // ---- plot ----------------------------------------------------------
    void plot() {
        // The backsight is drawn 100 m out from the instrument point.
        double rad = radians(backsight_.degrees);
        x_[0] = x_[1] + 100 * std::cos(rad);
        y_[0] = y_[1] + 100 * std::sin(rad);
        std::vector<double> xs(x_.begin(), x_.begin() + last_ + 1), ys(y_.begin(), y_.begin() + last_ + 1);
        Plot p = Plot::table(rt_, xs, ys);
        p.circle(x_[1], y_[1], 2, 5, true);
        p.line(x_[0], y_[0], x_[1], y_[1], 3);
        for (int j = 2; j <= last_; ++j) {
            p.circle(x_[j], y_[j], 1, 0);
            p.line(x_[1], y_[1], x_[j], y_[j], 0);
        }
        for (int j = 1; j <= last_; ++j) p.name(x_[j], y_[j], names_[j]);
        p.direction_mark();
    }

    // ---- report --------------------------------------------------------
    void report() {
        begin_report(rt_, kReport);
        rt_.lprint("　 　 　  点　名　 　夾　角　　  機械点からの方向角   距離　  　 DX　   　 DY");
        rt_.lprint_using("    　 　 &    &                  ####°##′##″",
                         {names_[0], double(backsight_.d), double(backsight_.m), double(backsight_.s)});
        for (int j = 2; j <= last_; ++j) {
            Dms az = degrees_to_dms_b(azimuths_[j]);
            rt_.lprint_using("          &    & ####°##′##″   ####°##′##″   ####.###  #####.### #####.###",
                             {names_[j], double(angles_[j].d), double(angles_[j].m), double(angles_[j].s),
                              az.degrees, az.minutes, az.seconds, plane_[j], dx_[j], dy_[j]});
        }
        rt_.lprint("");
        rt_.lprint("");
        rt_.lprint("     　　　　　　　　　 点　名　　　　　Ｘ座標　　 　　　Ｙ座標");
        for (int j = 1; j <= last_; ++j)
            rt_.lprint_using("                        &    &      ########.###     ########.###",
                             {names_[j], x_[j], y_[j]});
        std::vector<ReductionRow> rows;
        for (int j = 2; j <= last_; ++j) rows.push_back({names_[1], names_[j], reduced_[j]});
        report_reduction_table(rt_, calc_.settings(), rows);
        end_report(rt_);
    }

    Calculation& calc_;

    Runtime& rt_;
    int last_ = 1;  // n: the index of the last observed point; 1 while none exists
    AngleEntry backsight_;
    std::array<std::string, kSize> names_{};
    std::array<AngleEntry, kSize> angles_{};
    // distances_ as typed (D), plane_ as computed with (s).
    std::array<double, kSize> azimuths_{}, distances_{}, plane_{}, dx_{}, dy_{}, x_{}, y_{};
    std::array<ReducedLeg, kSize> reduced_{};
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_calculation_program("radtrav", argc, argv,
                                           [](marula::Calculation& calc) { marula::RadialTraverse(calc).run(); });
}
