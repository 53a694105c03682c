// Closed traverse: a polygon of stations that leaves a known point and
// returns to it. The angle sum is tested against the polygon's and its
// misclosure spread over the angles in whole seconds; the amount by which
// the computed polygon fails to return to its start is spread over the
// legs in whole millimetres by the compass rule.
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "frame/bounded_entry.h"
#include "frame/frame.h"
#include "frame/calculation.h"
#include "frame/point_list.h"
#include "survey/survey.h"
#include "traverse/adjusted_sheet.h"
#include "traverse/adjustment.h"
#include "traverse/reduced_legs.h"
#include "traverse/reduction_sheet.h"
#include "traverse/unadjusted.h"

namespace marula {
namespace {


constexpr int kLimit = 16;  // station entries; the seventeenth is refused
constexpr int kSize = kLimit + 1;
constexpr int kMinimumLegs = 3;  // the fewest legs that close a polygon

const Title kTitle{" 閉合ﾄﾗﾊﾞ-ｽ （測点は16点迄です。）", 40, 0, {321, 0, 590, 16}, {320, 0, 591, 17}};
constexpr std::string_view kStartPrompt = "方向角は（既知点から後視点へ例えば20度25分12秒は20.2512と入力）  ";
constexpr std::string_view kTooFewLegs = "閉合トラバースは３辺以上で入力して下さい。";


class LoopTraverse {
public:
    explicit LoopTraverse(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, kTitle);
        show_reduction_label(rt_, calc_.settings());
        draw_heading(rt_, kAdjustedHeading, 0);
        rt_.console(kSheetFirstRow, 20);
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.plot = [this] { plot(); };
        keys.print = [this] { report(); };
        keys.redisplay = [this] { redisplay(); };
        keys.landscape_screen_print = true;
        run_calculation(calc_, {.bar = KeyBar::Table,
                                .enter =
                                    [this] {
                                        enter();
                                        calculate();
                                        show_computed_results();
                                    },
                                .computed = [this] { return computed_points(); },
                                .keys = keys});
    }

private:
    // ---- input sequence ------------------------------------------------
    void enter() {
        back_name_ = ask_text(rt_, 5, "後視点名は  ");
        sheet_.row_number(0);
        sheet_.name(0, kSheetToCol, back_name_, kEntered);
        // An empty answer, when the job holds the backsight, leaves the
        // azimuth to the coordinates once the known station has them.
        const std::optional<AngleEntry> typed_start =
            ask_starting_azimuth(calc_, 2, kStartPrompt, back_name_, AngleKind::azimuth, kNudge1e6, kNudge1e6);
        if (typed_start) {
            start_ = *typed_start;
            show_start(kGiven, kStylePlain);
        }
        const NamedPoint known = ask_known_station(calc_, sheet_);
        names_[0] = known.name;
        x_[0] = known.at.x;
        y_[0] = known.at.y;
        if (!typed_start) {
            start_ = azimuth_to_backsight(calc_, 2, kStartPrompt, back_name_, x_[0], y_[0], AngleKind::azimuth,
                                          kNudge1e6, kNudge1e6);
            show_start(kGiven, kStylePlain);
        }

        int k = 1;
        for (;;) {
            if (k == kLimit + 1) {
                // Every entry so far is complete (name, angle, distance):
                // the sixteen legs are computed as they stand.
                show_limit_message(rt_, kLimit);
                legs_ = kLimit;
                break;
            }
            std::string name = ask_list_name(rt_);
            if (ends_point_list(name)) {
                if (k > kMinimumLegs) {
                    legs_ = k - 1;
                    break;
                }
                rt_.notice(kTooFewLegs);
                continue;
            }
            names_[k] = name;
            sheet_.row_number(k);
            sheet_.name(k, kSheetFromCol, names_[k - 1], kEntered);
            sheet_.name(k, kSheetToCol, names_[k], kEntered);
            angles_[k] = ask_angle_entry(rt_, 5, "夾角は（後視を基準に右まわり）  ", AngleKind::included, kNudge1e6,
                                   kNudge1e6);
            sheet_.angle(k, angles_[k], kEntered);
            distances_[k] = ask_distance_entry(rt_, 5, "距離は  ");
            sheet_.distance(k, distances_[k], kEntered);
            ++k;
        }
    }

    // ---- calculation ---------------------------------------------------
    void calculate() {
        distribute_angles();
        adjust_azimuths();
        adjust_coordinates();
    }

    // The distance total over legs 1 … n (single), to the millimetre.
    void total_distance() {
        float running = 0;
        for (int i = 1; i <= legs_; ++i) running = static_cast<float>(double(running) + plane_[i]);
        summary_.total = static_cast<float>(round_total_mm(running));
    }

    // The angle sum against the polygon's: (n − 2)·180 for the interior
    // angles; a sum above n·180 is taken as the exterior angles' and
    // lowered by 720 first.
    void distribute_angles() {
        const int n = legs_;
        double sum = 0;
        for (int i = 1; i <= n; ++i) sum += angles_[i].degrees;
        if (n * 180.0 < sum) sum -= 720;
        summary_.misclosure_seconds = misclosure_seconds((n - 2) * 180.0 - sum);
        auto shares = distribute_angle_misclosure(summary_.misclosure_seconds, n, kLoopShareNudge);
        for (int i = 1; i <= n; ++i) corrections_[i] = shares[i - 1];
    }

    // The azimuths from the starting azimuth with the corrected angles; the
    // corrections do not depend on the starting azimuth, so a new one only
    // runs this again.
    void adjust_azimuths() {
        azimuths_[0] = start_.degrees;
        for (int i = 1; i <= legs_; ++i) {
            double a = azimuths_[i - 1] + angles_[i].degrees + corrections_[i].degrees - 180;
            if (i == 1) a -= 180;
            // The single 1e-6 keeps the display split from truncating a
            // whole second that the arithmetic left a hair below.
            azimuths_[i] = azimuth_in_turn(wrap_azimuth(a)) + kNudge1e6;
        }
    }

    // The plane distances the legs are computed with: the typed ones, or
    // with the job's reduction each s from a first pass along the azimuths
    // of the angles as measured; and their total.
    void reduce_distances() {
        std::array<double, kSize> measured{};
        measured[0] = start_.degrees;
        for (int i = 1; i <= legs_; ++i) measured[i] = next_azimuth(measured[i - 1], angles_[i].degrees, i == 1);
        reduce_chain_legs(calc_.settings().reduction, y_[0], measured, distances_, reduced_, 1, legs_);
        plane_distances(reduced_, plane_, 1, legs_);
        total_distance();
    }

    void adjust_coordinates() {
        const int n = legs_;
        reduce_distances();
        LegSums sums = resolve_legs(azimuths_, plane_, adjusted_, n);
        // A loop returns to its start: what the legs add up to is the
        // misclosure itself.
        summary_.fx_mm = sums.x_mm;
        summary_.fy_mm = sums.y_mm;
        summary_.linear = linear_misclosure(sums.x_mm, sums.y_mm, kHalfUp);
        summary_.precision = static_cast<float>(precision_denominator(summary_.total, summary_.linear));
        spread_misclosure(plane_, adjusted_, n, sums.x_mm, sums.y_mm, summary_.total);
        place_all_stations();
    }

    // Stations 1 … n by running sums of the stored legs and corrections;
    // station n comes back onto station 0 to the millimetre.
    void place_all_stations() { place_stations(x_, y_, adjusted_, legs_); }

    // The adjusted stations 1 … n−1 (station n returns onto the given
    // station 0).
    std::vector<NamedPoint> computed_points() const {
        std::vector<NamedPoint> points;
        for (int i = 1; i < legs_; ++i) points.push_back({names_[i], {x_[i], y_[i]}});
        return points;
    }

    // ---- display -------------------------------------------------------
    void show_start(int color, int style) { sheet_.typed_azimuth(0, start_, color, style); }

    // Azimuths and coordinates of rows 1 … n as asked, in colour 0, or in
    // colour 15 with the hidden style to erase them.
    void show_computed(bool hide, bool azimuths, bool x, bool y) {
        int color = hide ? kHiddenColor : kEntered;
        int style = hide ? kStyleHidden : kStyleNormal;
        for (int i = 1; i <= legs_; ++i) {
            if (azimuths) sheet_.azimuth(i, azimuths_[i], color, style);
            if (x) sheet_.coordinate(i, kSheetXCol, x_[i], color, style);
            if (y) sheet_.coordinate(i, kSheetYCol, y_[i], color, style);
        }
    }

    void show_results() {
        show_computed(false, true, true, true);
        show_adjustment_summary(rt_, summary_, kStyleNormal);
    }

    // A fresh result, and its verdict under the job's tolerance class.
    void show_computed_results() {
        show_results();
        say_verdict(rt_, closure_verdict(calc_.settings(), TraverseShape::closed, legs_, summary_));
    }

    void redisplay() {
        rt_.cls(0);
        show_reduction_label(rt_, calc_.settings());
        draw_heading(rt_, kAdjustedHeading, 1);
        sheet_.row_number(0);
        sheet_.name(0, kSheetFromCol, names_[0], kEntered);
        sheet_.name(0, kSheetToCol, back_name_, kEntered);
        show_start(kGiven, kStylePlain);
        sheet_.coordinate(0, kSheetXCol, x_[0], kGiven, kStylePlain);
        sheet_.coordinate(0, kSheetYCol, y_[0], kGiven, kStylePlain);
        for (int i = 1; i <= legs_; ++i) {
            sheet_.row_number(i);
            sheet_.name(i, kSheetFromCol, names_[i - 1], kEntered);
            sheet_.name(i, kSheetToCol, names_[i], kEntered);
            sheet_.angle(i, angles_[i], kEntered);
            sheet_.distance(i, distances_[i], kEntered);
        }
        show_results();
    }

    // ---- correction dialogue -------------------------------------------
    bool row_fits(int c, int r) const {
        if ((c == 3 || c == 4) && r == 0) return false;
        return r >= 0 && r <= legs_;
    }

    void correct() {
        TableCorrection rules;
        rules.columns = 7;
        // The starting azimuth and station 0's coordinates have one cell
        // each: columns 5 to 7 ask no row.
        rules.needs_row = [](int c) { return c < 5; };
        rules.row_fits = [this](int c, int r) { return row_fits(c, r); };
        const std::optional<CellChoice> chosen = ask_table_cell(rt_, rules);
        if (!chosen) return;
        const CellChoice cell = *chosen;
        const int r = cell.row, n = legs_;
        switch (cell.column) {
            case 1: correct_station_name(r <= 1 ? 0 : r - 1); break;
            case 2:
                if (r == n) {
                    correct_station_name(0);
                } else if (r == 0) {
                    correct_backsight_name();
                } else {
                    correct_station_name(r);
                }
                break;
            case 3: correct_angle(r); break;
            case 4: correct_distance(r); break;
            case 5: correct_start(); break;
            case 6: correct_origin(true); break;
            case 7: correct_origin(false); break;
        }
    }

    // Station k's name stands in row k at column 12 and in row k+1 at
    // column 5. Station 0 is also station n, the return: its name stands in
    // rows 0 and 1 at column 5 and in row n at column 12.
    void show_station_name(int k, int color) {
        if (k == 0) {
            sheet_.name(0, kSheetFromCol, names_[0], color);
            sheet_.name(1, kSheetFromCol, names_[0], color);
            sheet_.name(legs_, kSheetToCol, names_[legs_], color);
            return;
        }
        sheet_.name(k, kSheetToCol, names_[k], color);
        sheet_.name(k + 1, kSheetFromCol, names_[k], color);
    }

    void correct_station_name(int k) {
        show_station_name(k, kOldValueColor);
        names_[k] = ask_text(rt_, 0, "正しい文字は　");
        if (k == 0) names_[legs_] = names_[0];  // the same point
        show_station_name(k, kEntered);
    }

    void correct_backsight_name() {
        sheet_.name(0, kSheetToCol, back_name_, kOldValueColor);
        back_name_ = ask_text(rt_, 0, "正しい文字は　");
        sheet_.name(0, kSheetToCol, back_name_, kGivenNameColor);
    }

    void correct_angle(int r) {
        sheet_.angle(r, angles_[r], kOldValueColor);
        show_computed(true, true, true, true);
        angles_[r] = ask_angle_entry(rt_, 2, "正しい夾角は  ", AngleKind::included, kNudge1e6, kNudge1e6);
        sheet_.angle(r, angles_[r], kEntered);
        calculate();
        show_computed_results();
    }

    void correct_start() {
        show_start(kOldValueColor, kStyleNormal);
        show_computed(true, true, true, true);
        start_ = ask_angle_entry(rt_, 2, kStartPrompt, AngleKind::azimuth, kNudge1e6, kNudge1e6);
        show_start(kGiven, kStylePlain);
        adjust_azimuths();
        adjust_coordinates();
        show_computed_results();
    }

    void correct_distance(int r) {
        sheet_.distance(r, distances_[r], kOldValueColor);
        show_computed(true, false, true, true);
        distances_[r] = ask_distance_entry(rt_, 2, "正しい距離は  ");
        sheet_.distance(r, distances_[r], kEntered);
        adjust_coordinates();
        show_computed_results();
    }

    // Station 0 moved: the legs and their corrections stay as they are, so
    // the whole polygon moves with it and its misclosure does not change;
    // only reduced distances, whose scale follows Y, are worked out again.
    void correct_origin(bool is_x) {
        double& value = is_x ? x_[0] : y_[0];
        int column = is_x ? kSheetXCol : kSheetYCol;
        const bool reducing = calc_.settings().reducing();
        sheet_.coordinate(0, column, value, kOldValueColor);
        show_computed(true, false, is_x || reducing, !is_x || reducing);
        value = ask_coordinate_entry(rt_, 2, is_x ? "正しいＸ座標は  " : "正しいＹ座標は  ");
        sheet_.coordinate(0, column, value, kGiven, kStylePlain);
        if (reducing) {
            adjust_coordinates();
            show_computed_results();
            return;
        }
        place_all_stations();
        show_results();
    }

    // ---- plot ----------------------------------------------------------
    void plot() {
        const int n = legs_;
        std::vector<double> xs(x_.begin(), x_.begin() + n + 1), ys(y_.begin(), y_.begin() + n + 1);
        Plot p = Plot::table(rt_, xs, ys);
        p.circle(x_[0], y_[0], 2, 5, true);
        for (int i = 1; i <= n; ++i) p.circle(x_[i], y_[i], 3, 0);
        for (int i = 1; i <= n; ++i) p.line(x_[i], y_[i], x_[i - 1], y_[i - 1], 0);
        for (int i = 0; i <= n; ++i) p.name(x_[i], y_[i], names_[i]);
        p.direction_mark();
    }

    // ---- report --------------------------------------------------------
    void report() {
        const int n = legs_;
        begin_report(rt_, kAdjustedTraverseReport);
        report_adjusted_heading(rt_);
        report_adjusted_start(rt_, names_[0], back_name_, start_, x_[0], y_[0]);
        for (int i = 1; i <= n; ++i) {
            report_adjusted_leg(rt_, {names_[i - 1], names_[i], angles_[i], corrections_[i].seconds, azimuths_[i],
                                      plane_[i], adjusted_[i], x_[i], y_[i]});
        }
        report_adjusted_precision(rt_, summary_);
        rt_.lprint_using(std::string(kReportMisclosureLine) + "　配付点数 ##",
                         {-summary_.misclosure_seconds + 0.0, double(summary_.fx_mm) / 1000,
                          double(summary_.fy_mm) / 1000, double(n)});
        report_verdict(rt_, closure_verdict(calc_.settings(), TraverseShape::closed, n, summary_));
        std::vector<ReductionRow> rows;
        for (int i = 1; i <= n; ++i) rows.push_back({names_[i - 1], names_[i], reduced_[i]});
        report_reduction_table(rt_, calc_.settings(), rows);
        report_station_place(rt_, calc_.settings(), names_[0], x_[0], y_[0]);
        end_report(rt_);
    }

    Calculation& calc_;

    Runtime& rt_;
    SheetCells sheet_{rt_};
    int legs_ = 0;  // n: legs and angles; station n is the return to station 0
    std::string back_name_;
    std::array<std::string, kSize> names_{};
    AngleEntry start_;
    std::array<AngleEntry, kSize> angles_{};
    // distances_ as typed (D), plane_ as computed with (s).
    std::array<double, kSize> distances_{}, plane_{}, azimuths_{}, x_{}, y_{};
    std::array<ReducedLeg, kSize> reduced_{};
    std::array<AdjustedLeg, kSize> adjusted_{};
    std::array<AngleCorrection, kSize> corrections_{};
    AdjustmentSummary summary_;
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_calculation_program("looptrav", argc, argv,
                                           [](marula::Calculation& calc) { marula::LoopTraverse(calc).run(); });
}
