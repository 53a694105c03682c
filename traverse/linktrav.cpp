// Connecting traverse: a chain of stations from a known point with a known
// backsight azimuth to a second known point with a known forward azimuth.
// The angular misclosure is spread over the angles in whole seconds, the
// coordinate misclosure over the legs by the compass rule in whole
// millimetres.
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "frame/bounded_entry.h"
#include "frame/frame.h"
#include "frame/calculation.h"
#include "survey/survey.h"
#include "traverse/adjusted_sheet.h"
#include "traverse/adjustment.h"
#include "traverse/reduced_legs.h"
#include "traverse/reduction_sheet.h"

namespace marula {
namespace {


constexpr int kLimit = 16;  // stations 0 … 15 and the forward point
constexpr int kSize = kLimit + 2;

const Title kTitle{" 結合ﾄﾗﾊﾞ-ｽ （測点は16点迄です。）", 40, 0, {321, 0, 590, 16}, {320, 0, 591, 17}};

constexpr std::string_view kStartPrompt = "方向角は（既知点から後視点へ例えば20度25分12秒は20.2512と入力）  ";
constexpr std::string_view kFirstLegRefusal = "最初の距離に０は入力できません。";
constexpr std::string_view kZeroLegRefusal = "距離に０は入力できません。";

class LinkTraverse {
public:
    explicit LinkTraverse(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, kTitle);
        show_reduction_label(rt_, calc_.settings());
        draw_heading(rt_, kAdjustedHeading, 0);
        rt_.console(kSheetFirstRow, 20);
        KeyActions keys;
        keys.correct = [this] { complete_ ? correct() : rt_.beep(); };
        keys.plot = [this] { complete_ ? plot() : rt_.beep(); };
        keys.print = [this] { complete_ ? report() : rt_.beep(); };
        keys.redisplay = [this] { redisplay(); };
        keys.landscape_screen_print = true;
        run_calculation(calc_, {.bar = KeyBar::Table,
                                .enter =
                                    [this] {
                                        if (!enter()) return;
                                        calculate();
                                        show_computed_results();
                                    },
                                .computed = [this] { return computed_points(); },
                                .keys = keys});
    }

private:
    // ---- input sequence ------------------------------------------------
    // Returns false when the station limit cut the entry short.
    bool enter() {
        back_name_ = ask_text(rt_, 5, "後視点名は  ");
        sheet_.row_number(0);
        sheet_.name(0, kSheetToCol, back_name_, kEntered);
        // An empty answer, when the job holds the backsight, leaves the
        // azimuth to the coordinates once the known station has them.
        const std::optional<AngleEntry> typed_start =
            ask_starting_azimuth(calc_, 2, kStartPrompt, back_name_, AngleKind::azimuth, kNudge1e7, kNudge1e7);
        if (typed_start) {
            start_ = *typed_start;
            sheet_.typed_azimuth(0, start_, kGiven, kStylePlain);
        }
        const NamedPoint known = ask_known_station(calc_, sheet_);
        names_[0] = known.name;
        x_[0] = known.at.x;
        y_[0] = known.at.y;
        if (!typed_start) {
            start_ = azimuth_to_backsight(calc_, 2, kStartPrompt, back_name_, x_[0], y_[0], AngleKind::azimuth,
                                          kNudge1e7, kNudge1e7);
            sheet_.typed_azimuth(0, start_, kGiven, kStylePlain);
        }

        for (int k = 1;; ++k) {
            if (k == kLimit + 1) {
                show_limit_message(rt_, kLimit);
                rows_entered_ = kLimit;
                return false;
            }
            std::string name = ask_text(rt_, 5, "測点名を入力する。 ");
            sheet_.row_number(k);
            sheet_.name(k, kSheetFromCol, names_[k - 1], kEntered);
            sheet_.name(k, kSheetToCol, name, kEntered);
            angles_[k] =
                ask_angle_entry(rt_, 5, "夾角は（後視を基準に右まわり）  ", AngleKind::included, kNudge1e6, kNudge1e7);
            sheet_.angle(k, angles_[k], kEntered);
            // A traverse needs at least one leg: a 0 first would leave
            // nothing to adjust and a zero distance total to divide by.
            const double distance = ask_distance_entry(rt_, 5, "距離は（終了は０を入力）  ",
                                                       k == 1 ? std::optional(kFirstLegRefusal) : std::nullopt);
            if (distance == 0) {
                legs_ = k - 1;
                forward_name_ = name;
                break;
            }
            names_[k] = name;
            distances_[k] = distance;
            sheet_.distance(k, distances_[k], kEntered);
            rows_entered_ = k;
        }

        const int n = legs_;
        const KnownPoint closing_station = ask_known_coordinates(
            calc_, names_[n], {.x_prompt = names_[n] + "のＸ座標は", .y_prompt = names_[n] + "のＹ座標は"},
            {.x = [&](double x) { sheet_.coordinate(n, kSheetXCol, x, kGiven, kStylePlain); },
             .y = [&](double y) { sheet_.coordinate(n, kSheetYCol, y, kGiven, kStylePlain); }});
        x_[n] = closing_station.at.x;
        y_[n] = closing_station.at.y;
        closing_ = ask_azimuth_offering(calc_, 5, names_[n] + "から" + forward_name_ + "への方向角は", x_[n], y_[n],
                                        forward_name_, AngleKind::azimuth, kNudge1e6, kNudge1e7);
        sheet_.typed_azimuth(n + 1, closing_, kGiven, kStylePlain);
        complete_ = true;
        return true;
    }

    // ---- calculation ---------------------------------------------------
    void calculate() {
        adjust_angles();
        adjust_coordinates();
    }

    void adjust_angles() {
        const int count = legs_ + 1;
        // The chain as measured, to find the misclosure against the closing
        // azimuth that was typed (kept apart from the adjusted one).
        measured_[0] = start_.degrees;
        for (int i = 1; i <= count; ++i) measured_[i] = next_azimuth(measured_[i - 1], angles_[i].degrees, i == 1);
        double w = reduce_half_turn(closing_.degrees - measured_[count]);
        summary_.misclosure_seconds = misclosure_seconds(w);
        auto shares = distribute_angle_misclosure(summary_.misclosure_seconds, count, kLinkShareNudge);
        azimuths_[0] = start_.degrees;
        for (int i = 1; i <= count; ++i) {
            corrections_[i] = shares[i - 1];
            double a = azimuths_[i - 1] + angles_[i].degrees + corrections_[i].degrees - 180;
            if (i == 1) a -= 180;
            // The nudge keeps the display split from truncating a whole
            // second that arithmetic left a hair below.
            azimuths_[i] = wrap_azimuth(a) + kNudge1e8;
        }
    }

    // The plane distances the legs are computed with: the typed ones, or
    // with the job's reduction each s from a first pass along the measured
    // azimuths; and their total.
    void reduce_distances() {
        reduce_chain_legs(calc_.settings().reduction, y_[0], measured_, distances_, reduced_, 1, legs_);
        plane_distances(reduced_, plane_, 1, legs_);
        recalculate_distance_total();
    }

    void adjust_coordinates() {
        const int n = legs_;
        reduce_distances();
        LegSums sums = resolve_legs(azimuths_, plane_, adjusted_, n);
        summary_.fx_mm = static_cast<float>(double(sums.x_mm) - (x_[n] - x_[0]) * 1000);
        summary_.fy_mm = static_cast<float>(double(sums.y_mm) - (y_[n] - y_[0]) * 1000);
        summary_.linear = linear_misclosure(summary_.fx_mm, summary_.fy_mm, kLinkLinearHalf);
        summary_.precision = precision_denominator(summary_.total, summary_.linear);
        spread_misclosure(plane_, adjusted_, n, summary_.fx_mm, summary_.fy_mm, summary_.total);
        // Station n is given: only the stations between are placed.
        place_stations(x_, y_, adjusted_, n - 1);
    }

    // The adjusted stations 1 … n−1 (stations 0 and n are given).
    std::vector<NamedPoint> computed_points() const {
        std::vector<NamedPoint> points;
        if (!complete_) return points;
        for (int i = 1; i < legs_; ++i) points.push_back({names_[i], {x_[i], y_[i]}});
        return points;
    }

    void recalculate_distance_total() {
        float running = 0;
        for (int i = 1; i <= legs_; ++i) running = static_cast<float>(double(running) + plane_[i]);
        summary_.total = static_cast<float>(round_total_mm(running));
    }

    // ---- display -------------------------------------------------------
    // Azimuths of rows 1 … n+1 and coordinates of rows 1 … n, in the
    // colours of a fresh result (or all in colour 15 to hide them).
    void show_computed(bool hide, bool azimuths, bool x, bool y, int first, int last) {
        const int n = legs_;
        // The closing azimuth (row n+1) and station n's coordinates are
        // given values; the rest are computed.
        auto color_of = [&](bool given) { return hide ? kHiddenColor : given ? kGiven : kEntered; };
        auto style_of = [&](bool given) { return hide ? kStyleHidden : given ? kStylePlain : kStyleNormal; };
        for (int i = first; i <= last; ++i) {
            if (azimuths) sheet_.azimuth(i, azimuths_[i], color_of(i == n + 1), style_of(i == n + 1));
            if (i <= n && x) sheet_.coordinate(i, kSheetXCol, x_[i], color_of(i == n), style_of(i == n));
            if (i <= n && y) sheet_.coordinate(i, kSheetYCol, y_[i], color_of(i == n), style_of(i == n));
        }
    }

    void show_results() {
        show_computed(false, true, true, true, 1, legs_ + 1);
        show_summary();
    }

    void show_summary() { show_adjustment_summary(rt_, summary_, kStyleMessage); }

    // A fresh result, and its verdict under the job's tolerance class.
    void show_computed_results() {
        show_results();
        say_verdict(rt_, closure_verdict(calc_.settings(), TraverseShape::connecting, legs_, summary_));
    }

    // Every row from the stored values; nothing is recalculated.
    void show_table() {
        sheet_.row_number(0);
        sheet_.name(0, kSheetFromCol, names_[0], kEntered);
        sheet_.name(0, kSheetToCol, back_name_, kEntered);
        sheet_.typed_azimuth(0, start_, kGiven, kStylePlain);
        sheet_.coordinate(0, kSheetXCol, x_[0], kGiven, kStylePlain);
        sheet_.coordinate(0, kSheetYCol, y_[0], kGiven, kStylePlain);
        int last = complete_ ? legs_ + 1 : rows_entered_;
        for (int i = 1; i <= last; ++i) {
            sheet_.row_number(i);
            sheet_.name(i, kSheetFromCol, names_[i - 1], kEntered);
            bool forward = complete_ && i == legs_ + 1;
            sheet_.name(i, kSheetToCol, forward ? forward_name_ : names_[i], kEntered);
            sheet_.angle(i, angles_[i], kEntered);
            if (!forward) sheet_.distance(i, distances_[i], kEntered);
        }
        if (complete_) show_results();
    }

    void redisplay() {
        rt_.cls(0);
        show_reduction_label(rt_, calc_.settings());
        draw_heading(rt_, kAdjustedHeading, 1);
        show_table();
    }

    // ---- correction dialogue -------------------------------------------
    enum class Target { Name, Backsight, Forward, Start, Closing, Angle, Distance, X0, Y0, Xn, Yn };

    bool row_fits(int c, int r) const {
        const int n = legs_;
        if ((c == 5 && r == n + 1) || ((c == 6 || c == 7) && r == n)) return true;
        if ((c == 3 || c == 4) && r == 0) return false;
        if (c >= 5 && r >= 1) return false;
        if (r < 0 || r > n + 1) return false;
        // The forward row has no distance: its cell is not a leg.
        if (c == 4 && r == n + 1) return false;
        return true;
    }

    void correct() {
        TableCorrection rules;
        rules.columns = 7;
        rules.row_fits = [this](int c, int r) { return row_fits(c, r); };
        const std::optional<CellChoice> chosen = ask_table_cell(rt_, rules);
        if (!chosen) return;
        const CellChoice cell = *chosen;
        const int c = cell.column, r = cell.row, n = legs_;
        switch (c) {
            case 1: correct_station_name(r <= 1 ? 0 : r - 1); break;
            case 2:
                if (r == n + 1) {
                    correct_direction_name(forward_name_, n + 1);
                } else if (r == 0) {
                    correct_direction_name(back_name_, 0);
                } else {
                    correct_station_name(r);
                }
                break;
            case 3: correct_angle(r); break;
            case 4: correct_distance(r); break;
            case 5: correct_azimuth(r == 0); break;
            case 6: correct_coordinate(r == 0 ? 0 : n, true); break;
            case 7: correct_coordinate(r == 0 ? 0 : n, false); break;
        }
    }

    // Station k's name stands in row k at column 12 and in row k+1 at
    // column 5 (station 0 in row 0 and row 1 at column 5).
    void show_station_name(int k, int color) {
        if (k == 0) {
            sheet_.name(0, kSheetFromCol, names_[0], color);
        } else {
            sheet_.name(k, kSheetToCol, names_[k], color);
        }
        sheet_.name(k + 1, kSheetFromCol, names_[k], color);
    }

    std::string ask_name() { return ask_text(rt_, 0, "正しい文字は　"); }

    void correct_station_name(int k) {
        show_station_name(k, kOldValueColor);
        names_[k] = ask_name();
        show_station_name(k, kEntered);
    }

    void correct_direction_name(std::string& name, int row) {
        sheet_.name(row, kSheetToCol, name, kOldValueColor);
        name = ask_name();
        sheet_.name(row, kSheetToCol, name, kGivenNameColor);
    }

    void hide_for_angles() { show_computed(true, true, true, true, 1, legs_ + 1); }

    void correct_angle(int r) {
        sheet_.angle(r, angles_[r], kOldValueColor);
        hide_for_angles();
        angles_[r] = ask_angle_entry(rt_, 2, "正しい夾角は  ", AngleKind::included, kNudge1e6, kNudge1e6);
        sheet_.angle(r, angles_[r], kEntered);
        calculate();
        show_computed_results();
    }

    void correct_azimuth(bool start) {
        const int n = legs_;
        AngleEntry& target = start ? start_ : closing_;
        int row = start ? 0 : n + 1;
        sheet_.typed_azimuth(row, target, kOldValueColor);
        hide_for_angles();
        std::string prompt = start ? names_[0] + "から" + back_name_ + "への方向角は "
                                   : names_[n] + "から" + forward_name_ + "への方向角は ";
        target = ask_angle_entry(rt_, 2, prompt, AngleKind::azimuth, kNudge1e6, kNudge1e6);
        if (start) sheet_.typed_azimuth(0, start_, kGiven, kStylePlain);
        calculate();
        show_computed_results();
    }

    void correct_distance(int r) {
        sheet_.distance(r, distances_[r], kOldValueColor);
        show_computed(true, false, true, true, 1, legs_);
        distances_[r] = ask_distance_entry(rt_, 2, "正しい距離は  ", kZeroLegRefusal);
        sheet_.distance(r, distances_[r], kEntered);
        adjust_coordinates();
        show_computed_results();
    }

    void correct_coordinate(int station, bool is_x) {
        const int n = legs_;
        double& value = is_x ? x_[station] : y_[station];
        int column = is_x ? kSheetXCol : kSheetYCol;
        sheet_.coordinate(station, column, value, kOldValueColor);
        show_computed(true, false, is_x, !is_x, 1, station == 0 ? n : n - 1);
        value = ask_coordinate_entry(rt_, 2, is_x ? "正しいＸ座標は  " : "正しいＹ座標は  ");
        sheet_.coordinate(station, column, value, kGiven, kStylePlain);
        adjust_coordinates();
        show_computed_results();
    }

    // ---- plot ----------------------------------------------------------
    void plot() {
        const int n = legs_;
        std::vector<double> xs(x_.begin(), x_.begin() + n + 1), ys(y_.begin(), y_.begin() + n + 1);
        Plot p = Plot::table(rt_, xs, ys);
        p.circle(x_[0], y_[0], 2, 5, true);
        for (int i = 1; i <= n; ++i) p.circle(x_[i], y_[i], 3, 0);
        for (int i = 1; i <= n; ++i) p.line(x_[i], y_[i], x_[i - 1], y_[i - 1], 0);
        // The two reference directions, 300 m long.
        for (auto [station, azimuth] : {std::pair{0, azimuths_[0]}, std::pair{n, azimuths_[n + 1]}}) {
            double rad = radians_pi_first(azimuth);
            p.line(x_[station], y_[station], x_[station] + 300 * std::cos(rad), y_[station] + 300 * std::sin(rad),
                   8);
        }
        for (int i = 0; i <= n; ++i) p.name(x_[i], y_[i], names_[i]);
        p.direction_mark();
    }

    // ---- report --------------------------------------------------------
    static std::array<double, 3> dms_of(double azimuth) {
        Dms d = degrees_to_dms_a(azimuth);
        return {d.degrees, d.minutes, d.seconds};
    }

    void report() {
        const int n = legs_;
        begin_report(rt_, kAdjustedTraverseReport);
        report_adjusted_heading(rt_);

        report_adjusted_start(rt_, names_[0], back_name_, start_, x_[0], y_[0]);
        for (int i = 1; i <= n; ++i) {
            report_adjusted_leg(rt_, {names_[i - 1], names_[i], angles_[i], corrections_[i].seconds, azimuths_[i],
                                      plane_[i], adjusted_[i], x_[i], y_[i]});
        }
        auto closing = dms_of(azimuths_[n + 1]);
        rt_.lprint_using("      &    &  &    &  ### ## ##  ###   ### ## ##",
                         {names_[n], forward_name_, double(angles_[n + 1].d), double(angles_[n + 1].m),
                          double(angles_[n + 1].s), corrections_[n + 1].seconds, closing[0], closing[1],
                          closing[2]});
        report_adjusted_precision(rt_, summary_);
        rt_.lprint_using(kReportMisclosureLine, {-summary_.misclosure_seconds + 0.0, double(summary_.fx_mm) / 1000, double(summary_.fy_mm) / 1000});
        report_verdict(rt_, closure_verdict(calc_.settings(), TraverseShape::connecting, n, summary_));
        report_reduction();
        end_report(rt_);
    }

    // The legs' reduction and station 0's place, when distances are reduced.
    void report_reduction() {
        std::vector<ReductionRow> rows;
        for (int i = 1; i <= legs_; ++i) rows.push_back({names_[i - 1], names_[i], reduced_[i]});
        report_reduction_table(rt_, calc_.settings(), rows);
        report_station_place(rt_, calc_.settings(), names_[0], x_[0], y_[0]);
    }

    Calculation& calc_;
    Runtime& rt_;
    SheetCells sheet_{rt_};
    bool complete_ = false;
    int rows_entered_ = 0;  // table rows 1 … filled during the entry
    int legs_ = 0;          // n
    std::string back_name_, forward_name_;
    std::array<std::string, kSize> names_{};
    AngleEntry start_, closing_;
    std::array<AngleEntry, kSize> angles_{};
    // distances_ as typed (D), plane_ as computed with (s); measured_ the
    // azimuth chain before adjustment.
    std::array<double, kSize> distances_{}, plane_{}, measured_{}, azimuths_{}, x_{}, y_{};
    std::array<ReducedLeg, kSize> reduced_{};
    std::array<AdjustedLeg, kSize> adjusted_{};
    std::array<AngleCorrection, kSize> corrections_{};
    AdjustmentSummary summary_;
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_calculation_program("linktrav", argc, argv,
                                           [](marula::Calculation& calc) { marula::LinkTraverse(calc).run(); });
}
