// Open traverse: a chain of points run out from a known instrument point
// with a known backsight azimuth. Each new point is fixed by the included
// angle at the point before it and the distance, and becomes the station
// for the next; nothing closes, so nothing is adjusted.
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
    .title = "                      連続トラバ－ス",
    .by_line = "            By MARULA    ",
    .body_pitch = {131, 240},
    .empty_after_title = 1,
};

constexpr int kLimit = 18;              // new points after the instrument point
constexpr int kLastIndex = kLimit + 1;  // index 1 the instrument point, 2 … 19 new points
constexpr int kSize = kLastIndex + 1;

const Title kTitle{" 連続ﾄﾗﾊﾞ-ｽ （計算は１８点迄です）", 40, 0, {321, 0, 590, 16}, {320, 0, 591, 17}};
const Heading kHeading{
    "       1       2        3          4           5            6          7  ", 0, 1,
    " NO  測角点　方向点   狭 角　　  方向角　  　距 離　      Ｘ座標　 　Ｙ座標    ", 0, 2, {0, 36, 632, 53}};

constexpr std::string_view kAzimuthPrompt = "方向角は（機械点から後視点へ例えば20度25分12秒は20.2512と入力）  ";
constexpr std::string_view kAnglePrompt = "夾角は（後視を基準に右まわり）  ";

// Text columns of a table row; row r stands on text row r + 2.
constexpr int kNumberCol = 0, kFromCol = 4, kToCol = 12, kAngleCol = 19, kAzimuthCol = 31, kDistanceCol = 43,
              kXCol = 53, kYCol = 65;
constexpr std::string_view kCoordinate = "########.###";

constexpr int kGivenColor = 1;    // the instrument row as typed
constexpr int kPointColor = 0;    // new points
constexpr int kChangedColor = 4;  // values typed or recomputed by a correction

class OpenTraverse {
public:
    explicit OpenTraverse(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, kTitle);
        show_reduction_label(rt_, calc_.settings());
        rt_.beep();
        rt_.wait(10);
        draw_heading(rt_, kHeading, 0);
        rt_.console(3, 20);
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.plot = [this] { plot(); };
        keys.print = [this] { report(); };
        keys.redisplay = [this] { redisplay(); };
        run_calculation(calc_, {.bar = KeyBar::Table,
                                .enter = [this] { enter(); },
                                .computed = [this] { return computed_points(); },
                                .keys = keys});
    }

private:
    // ---- input sequence ------------------------------------------------
    void enter() {
        names_[0] = ask_text(rt_, 5, "後視点名は  ");
        show_row_number(1);
        show_name(1, kToCol, names_[0], kGivenColor, kStylePlain);
        // An empty answer, when the job holds the backsight, leaves the
        // azimuth to the coordinates once the instrument point has them.
        const std::optional<AngleEntry> typed_start =
            ask_starting_azimuth(calc_, 2, kAzimuthPrompt, names_[0], AngleKind::azimuth, kNudge1e7, kNudge1e7);
        if (typed_start) {
            backsight_ = *typed_start;
            azimuths_[1] = backsight_.degrees;
            echo_dms(rt_, kAzimuthCol, text_row(1), backsight_, kGivenColor, kStylePlain);
        }
        const KnownPoint instrument = ask_known_point(calc_, {.name_prompt = "機械点名は", .x_prompt = "機械点Ｘ座標は ", .y_prompt = "機械点Ｙ座標は "},
            {.name = [&](const std::string& name) { show_name(1, kFromCol, name, kGivenColor, kStylePlain); },
             .x = [&](double x) { show_coordinate(1, kXCol, x, kGivenColor, kStylePlain); },
             .y = [&](double y) { show_coordinate(1, kYCol, y, kGivenColor, kStylePlain); }});
        names_[1] = instrument.name;
        x_[1] = instrument.at.x;
        y_[1] = instrument.at.y;
        if (!typed_start) {
            backsight_ = azimuth_to_backsight(calc_, 2, kAzimuthPrompt, names_[0], x_[1], y_[1], AngleKind::azimuth,
                                              kNudge1e7, kNudge1e7);
            azimuths_[1] = backsight_.degrees;
            echo_dms(rt_, kAzimuthCol, text_row(1), backsight_, kGivenColor, kStylePlain);
        }

        for (int k = 2;; ++k) {
            std::string name = ask_list_name(rt_);
            if (ends_point_list(name)) return;
            names_[k] = name;
            show_row_number(k);
            show_name(k, kFromCol, names_[k - 1], kPointColor);
            show_name(k, kToCol, names_[k], kPointColor, kStyleNormal, "&     &");
            angles_[k] = ask_angle_entry(rt_, 5, kAnglePrompt, AngleKind::included, kNudge1e7, 0);
            echo_dms(rt_, kAngleCol, text_row(k), angles_[k], kPointColor);
            azimuths_[k] = open_leg_azimuth(azimuths_[k - 1], angles_[k].degrees, k == 2);
            show_azimuth(k, kPointColor);
            distances_[k] = ask_distance_entry(rt_, 5, "距離は  ");
            show_distance(k, kPointColor);
            reduce(k);
            place_leg(k);
            x_[k] = x_[k - 1] + dx_[k];
            y_[k] = y_[k - 1] + dy_[k];
            show_coordinate(k, kXCol, x_[k], kPointColor);
            show_coordinate(k, kYCol, y_[k], kPointColor);
            last_ = k;
            if (k == kLastIndex) {
                show_limit_message(rt_, kLimit);
                return;
            }
        }
    }

    // ---- calculation ---------------------------------------------------
    // The plane distances of legs 2 … last: as typed, or with the job's
    // reduction each s from a first pass along the azimuths. A leg's s
    // depends on the legs before it only.
    void reduce(int last) {
        reduce_chain_legs(calc_.settings().reduction, y_[1], azimuths_, distances_, reduced_, 2, last);
        plane_distances(reduced_, plane_, 2, last);
    }

    void place_leg(int k) {
        LegOffset o = leg_offset(plane_[k], azimuths_[k]);
        dx_[k] = o.dx;
        dy_[k] = o.dy;
    }

    // Azimuths and legs of points 2 … n from the stored angles, each
    // azimuth carried into the next.
    void recompute_azimuths() {
        for (int k = 2; k <= last_; ++k) azimuths_[k] = open_leg_azimuth(azimuths_[k - 1], angles_[k].degrees, k == 2);
        place_legs(2);
    }

    // Legs `first` … n placed again from their (re-reduced) distances.
    void place_legs(int first) {
        reduce(last_);
        for (int k = first; k <= last_; ++k) place_leg(k);
    }

    // Coordinates of points `first` … n from the stored legs.
    void chain_coordinates(int first) {
        for (int k = first; k <= last_; ++k) {
            x_[k] = x_[k - 1] + dx_[k];
            y_[k] = y_[k - 1] + dy_[k];
        }
    }

    // ---- display -------------------------------------------------------
    static int text_row(int row) { return row + 2; }

    void show_row_number(int row) {
        echo_number(rt_, kNumberCol, text_row(row), "###", row, kRowNumberColor, kStyleNormal);
    }
    void show_name(int row, int column, const std::string& name, int color, int style = kStyleNormal,
                   std::string_view field = "&    &") {
        echo_name(rt_, column, text_row(row), name, color, style, field);
    }
    void show_coordinate(int row, int column, double value, int color, int style = kStyleNormal) {
        echo_number(rt_, column, text_row(row), kCoordinate, value, color, style);
    }
    void show_distance(int row, int color, int style = kStyleNormal) {
        echo_number(rt_, kDistanceCol, text_row(row), "####.###", distances_[row], color, style);
    }
    void show_azimuth(int row, int color, int style = kStyleNormal) {
        Dms dms = degrees_to_dms_b(azimuths_[row]);
        echo_dms(rt_, kAzimuthCol, text_row(row), int(dms.degrees), int(dms.minutes), int(dms.seconds), color,
                 style);
    }

    // The computed columns of rows `first` … n: azimuth, X and Y as asked;
    // colour 15 in the hidden style erases them.
    void show_computed(int first, bool azimuth, bool x, bool y, int color) {
        int style = color == kHiddenColor ? kStyleHidden : kStyleNormal;
        for (int k = first; k <= last_; ++k) {
            if (azimuth) show_azimuth(k, color, style);
            if (x) show_coordinate(k, kXCol, x_[k], color, style);
            if (y) show_coordinate(k, kYCol, y_[k], color, style);
        }
    }

    void show_table() {
        show_row_number(1);
        show_name(1, kFromCol, names_[1], kGivenColor, kStylePlain);
        show_name(1, kToCol, names_[0], kGivenColor, kStylePlain);
        echo_dms(rt_, kAzimuthCol, text_row(1), backsight_, kGivenColor, kStylePlain);
        show_coordinate(1, kXCol, x_[1], kGivenColor, kStylePlain);
        show_coordinate(1, kYCol, y_[1], kGivenColor, kStylePlain);
        for (int k = 2; k <= last_; ++k) {
            show_row_number(k);
            // The instrument point's name keeps the colour of its own row.
            show_name(k, kFromCol, names_[k - 1], k == 2 ? kGivenColor : kPointColor);
            show_name(k, kToCol, names_[k], kPointColor, kStyleNormal, "&     &");
            echo_dms(rt_, kAngleCol, text_row(k), angles_[k], kPointColor);
            show_azimuth(k, kPointColor);
            show_distance(k, kPointColor);
            show_coordinate(k, kXCol, x_[k], kPointColor);
            show_coordinate(k, kYCol, y_[k], kPointColor);
        }
    }

    void redisplay() {
        rt_.cls(0);
        show_reduction_label(rt_, calc_.settings());
        draw_heading(rt_, kHeading, 1);
        show_table();
    }

    // ---- correction ----------------------------------------------------
    static bool needs_row(int column) { return column != 4 && column != 6 && column != 7; }
    // Angles and distances belong to new points only.
    static bool needs_point_row(int column) { return column == 3 || column == 5; }

    bool row_fits(int column, int row) const {
        if (needs_point_row(column) && row == 1) return false;
        return row >= 1 && row <= last_;
    }

    void correct() {
        TableCorrection rules;
        rules.columns = 7;
        rules.needs_row = needs_row;
        // With no new point an angle or distance column has no row that
        // could fit: it is refused as soon as it is chosen, rather than
        // asking for a row for ever.
        rules.column_fits = [this](int c) { return last_ >= 2 || !needs_point_row(c); };
        rules.row_fits = [this](int c, int r) { return row_fits(c, r); };
        const std::optional<CellChoice> chosen = ask_table_cell(rt_, rules);
        if (!chosen) return;
        const CellChoice cell = *chosen;
        const int r = cell.row;
        switch (cell.column) {
            case 1: correct_name(r <= 2 ? 1 : r - 1); break;
            case 2: correct_name(r == 1 ? 0 : r); break;
            case 3: correct_angle(r); break;
            case 4: correct_backsight_azimuth(); break;
            case 5: correct_distance(r); break;
            case 6: correct_instrument(true); break;
            case 7: correct_instrument(false); break;
        }
    }

    // Point p's name stands in column 2 of row p and column 1 of row p+1;
    // the backsight's (p = 0) in column 2 of row 1, the instrument point's
    // (p = 1) in column 1 of rows 1 and 2.
    void show_point_name(int p, int color) {
        if (p == 0) {
            show_name(1, kToCol, names_[0], color);
            return;
        }
        if (p == 1) {
            show_name(1, kFromCol, names_[1], color);
        } else {
            show_name(p, kToCol, names_[p], color, kStyleNormal, "&     &");
        }
        if (p < last_) show_name(p + 1, kFromCol, names_[p], color);
    }

    // The points 2 … n (point 1 is the instrument point, given).
    std::vector<NamedPoint> computed_points() const {
        std::vector<NamedPoint> points;
        for (int k = 2; k <= last_; ++k) points.push_back({names_[k], {x_[k], y_[k]}});
        return points;
    }

    void correct_name(int p) {
        show_point_name(p, kOldValueColor);
        names_[p] = ask_text(rt_, 0, "正しい文字は  ");
        show_point_name(p, p <= 1 ? kChangedColor : kPointColor);
    }

    void correct_angle(int r) {
        echo_dms(rt_, kAngleCol, text_row(r), angles_[r], kOldValueColor);
        show_computed(r, true, true, true, kHiddenColor);
        angles_[r] = ask_angle_entry(rt_, 0, "正しい狭角は（後視を基準に右まわり） ", AngleKind::included, kNudge1e7, 0);
        echo_dms(rt_, kAngleCol, text_row(r), angles_[r], kChangedColor);
        recompute_azimuths();
        chain_coordinates(2);
        show_computed(2, true, true, true, kChangedColor);
    }

    void correct_backsight_azimuth() {
        echo_dms(rt_, kAzimuthCol, text_row(1), backsight_, kOldValueColor);
        show_computed(2, true, true, true, kHiddenColor);
        backsight_ = ask_angle_entry(rt_, 0, "正しい方向角は（機械点から後視点へ)   ", AngleKind::azimuth, kNudge1e7,
                               kNudge1e7);
        azimuths_[1] = backsight_.degrees;
        echo_dms(rt_, kAzimuthCol, text_row(1), backsight_, kChangedColor);
        recompute_azimuths();
        chain_coordinates(2);
        show_computed(2, true, true, true, kChangedColor);
    }

    void correct_distance(int r) {
        show_distance(r, kOldValueColor);
        show_computed(r, false, true, true, kHiddenColor);
        distances_[r] = ask_distance_entry(rt_, 5, "正しい距離は ");
        show_distance(r, kChangedColor);
        // Reduced, the later legs' scale follows this one's far end.
        place_legs(r);
        chain_coordinates(r);
        show_computed(r, false, true, true, kChangedColor);
    }

    // A new Y moves reduced legs' scale, and so every X as well.
    void correct_instrument(bool is_x) {
        double& value = is_x ? x_[1] : y_[1];
        int column = is_x ? kXCol : kYCol;
        const bool rescaled = !is_x && calc_.settings().reducing();
        show_coordinate(1, column, value, kOldValueColor);
        show_computed(2, false, is_x || rescaled, !is_x, kHiddenColor);
        value = ask_coordinate_entry(rt_, 5, is_x ? "正しい機械点Ｘ座標は " : "正しい機械点Ｙ座標は ");
        show_coordinate(1, column, value, kChangedColor);
        if (rescaled) place_legs(2);
        chain_coordinates(2);
        show_computed(2, false, is_x || rescaled, !is_x, kChangedColor);
    }

    // ---- plot ----------------------------------------------------------
    void plot() {
        // The backsight is drawn 110 m out from the instrument point along
        // the backsight azimuth, so the view includes its direction.
        double rad = radians(azimuths_[1]);
        x_[0] = x_[1] + 10 * std::cos(rad) + 100 * std::cos(rad);
        y_[0] = y_[1] + 10 * std::sin(rad) + 100 * std::sin(rad);
        std::vector<double> xs(x_.begin(), x_.begin() + last_ + 1), ys(y_.begin(), y_.begin() + last_ + 1);
        Plot p = Plot::table(rt_, xs, ys);
        p.circle(x_[1], y_[1], 2, 5, true);
        p.line(x_[0], y_[0], x_[1], y_[1], 3);
        for (int k = 2; k <= last_; ++k) {
            p.circle(x_[k], y_[k], 1, 0);
            p.line(x_[k - 1], y_[k - 1], x_[k], y_[k], 0);
        }
        for (int k = 1; k <= last_; ++k) p.name(x_[k], y_[k], names_[k]);
        p.direction_mark();
    }

    // ---- report --------------------------------------------------------
    void report() {
        begin_report(rt_, kReport);
        rt_.lprint("       　測角点  方向点　　夾　角　　  方 向 角　  　 距　離       DX　  　 DY");
        rt_.lprint_using("         &    &  &    &               ####°##′##″",
                         {names_[1], names_[0], double(backsight_.d), double(backsight_.m), double(backsight_.s)});
        for (int k = 2; k <= last_; ++k) {
            Dms az = degrees_to_dms_b(azimuths_[k]);
            rt_.lprint_using("         &    &  &    & ####°##′##″####°##′##″####.###  #####.### #####.###",
                             {names_[k - 1], names_[k], double(angles_[k].d), double(angles_[k].m),
                              double(angles_[k].s), az.degrees, az.minutes, az.seconds, plane_[k], dx_[k],
                              dy_[k]});
        }
        rt_.lprint("");
        rt_.lprint("");
        rt_.lprint("     　　　     　　　　　　 座標点　　　　　Ｘ座標　　 　　　Ｙ座標");
        for (int k = 1; k <= last_; ++k)
            rt_.lprint_using("                             &    &      ########.###     ########.###",
                             {names_[k], x_[k], y_[k]});
        report_reduction();
        end_report(rt_);
    }

    // The legs' reduction, when distances are reduced.
    void report_reduction() {
        std::vector<ReductionRow> rows;
        for (int k = 2; k <= last_; ++k) rows.push_back({names_[k - 1], names_[k], reduced_[k]});
        report_reduction_table(rt_, calc_.settings(), rows);
    }

    Calculation& calc_;

    Runtime& rt_;
    int last_ = 1;  // n: the index of the last point; 1 while no new point exists
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
    return marula::run_calculation_program("opentrav", argc, argv,
                                           [](marula::Calculation& calc) { marula::OpenTraverse(calc).run(); });
}
