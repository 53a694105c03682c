// Radial inverse: the azimuth and distance from one instrument point to
// each of up to 18 target points.
#include <string>
#include <string_view>
#include <vector>

#include "frame/correction.h"
#include "frame/bounded_entry.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/point_list.h"
#include "frame/point_sequence.h"
#include "frame/report.h"
#include "frame/screen.h"
#include "frame/calculation.h"
#include "inverse/inverse_legs.h"

namespace marula {
namespace {

// The printed page: its paper, title, by-line and spacing.
constexpr ReportLayout kReport = table_report("                                     逆 計 算（放射）", "                By MARULA    ");

using namespace inverse;

constexpr int kComputedColor = 0;
constexpr int kGivenColor = 1;
constexpr int kCorrectedColor = 4;

const Title kTitle{" 放射逆計算 （計算は18点迄です）", 40, 0, {321, 0, 574, 16}, {320, 0, 575, 17}};
const Heading kHeading{std::string(kColumnNumbers), 0, 1,
                       "NO 機械点  　Ｘ１　     Ｙ１    座標名　　 Ｘ座標　 　Ｙ座標 　方向角  　 距離 "};
// The redisplay's heading is spaced a little differently.
const Heading kRedisplayHeading{std::string(kColumnNumbers), 0, 1,
                                "NO 機械点  　Ｘ１　     Ｙ１    座標名　　 Ｘ座標　 　Ｙ座標 　方向角    距 離 "};

class RadialInverse {
public:
    explicit RadialInverse(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, kTitle);
        rt_.beep();
        rt_.wait(10);
        draw_heading(rt_, kHeading, 0);
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.plot = [this] { plot_points(rt_, points_, /*radial=*/true); };
        keys.print = [this] { report(); };
        keys.redisplay = [this] { redisplay(); };
        // An inverse computes azimuths and distances, never a point to store.
        run_calculation(calc_, {.bar = KeyBar::Table, .enter = [this] { enter(); }, .keys = keys});
    }

private:
    // points_[0] is the instrument point, points_[r] the target of table
    // row r, and legs_[r - 1] the leg from the instrument point to it.
    int target_count() const { return static_cast<int>(legs_.size()); }
    NamedPoint& instrument() { return points_[0]; }

    // ---- input ------------------------------------------------------------
    void enter() {
        rt_.console(3, 20);
        show_first_row_number(rt_);
        points_.push_back(ask_first_station(calc_, "機械点", kGivenColor));

        for (;;) {
            NamedPoint target;
            target.name = ask_sequence_list_name(calc_);
            if (ends_point_list(target.name)) return;
            const int row = target_count() + 1;
            show_row_number(rt_, row);
            show_to_name(rt_, row, target.name, kComputedColor);
            ask_to_coordinates(calc_, row, target, kComputedColor);
            points_.push_back(target);
            legs_.push_back(compute_leg(instrument(), target));
            show(row, kComputedColor);
            if (target_count() == kMaxLegs) {
                show_limit_message(rt_, kMaxLegs);
                return;
            }
        }
    }

    // ---- correction -------------------------------------------------------
    // Columns 1-3 are the instrument point (no row asked; its coordinates
    // move every leg), columns 4-6 the target of the row typed.
    void correct() {
        TableCorrection rules;
        rules.columns = 6;
        rules.blanks = 64;
        rules.needs_row = [](int column) { return column >= 4; };
        rules.row_fits = [this](int, int row) { return row >= 1 && row <= target_count(); };
        rules.has_rows = !legs_.empty();
        const std::optional<CellChoice> chosen = ask_table_cell(rt_, rules);
        if (!chosen) return;
        const CellChoice cell = *chosen;
        switch (cell.column) {
        case 1: correct_instrument_name(); break;
        case 2: correct_instrument_x(); break;
        case 3: correct_instrument_y(); break;
        case 4: correct_target_name(cell.row); break;
        case 5: correct_target_x(cell.row); break;
        default: correct_target_y(cell.row); break;
        }
    }

    void correct_instrument_name() {
        show_from_name(rt_, 1, instrument().name, kOldValueColor);
        ask_text_keeping(rt_, 5, "正しい機械点名は", instrument().name);
        show_from_name(rt_, 1, instrument().name, kCorrectedColor);
    }

    void correct_instrument_x() {
        show_from_x(rt_, 1, instrument().at.x, kOldValueColor);
        hide_all_legs();
        instrument().at.x = ask_coordinate_entry(rt_, 5, "正しい機械点Ｘ座標は ", instrument().at.x);
        show_from_x(rt_, 1, instrument().at.x, kCorrectedColor);
        for (int row = 1; row <= target_count(); ++row) {
            set_leg_delta_x(legs_[row - 1], instrument().at.x, points_[row].at.x);
            finish_and_show(row);
        }
    }

    void correct_instrument_y() {
        show_from_y(rt_, 1, instrument().at.y, kOldValueColor);
        hide_all_legs();
        instrument().at.y = ask_coordinate_entry(rt_, 5, "正しい機械点Ｙ座標は ", instrument().at.y);
        show_from_y(rt_, 1, instrument().at.y, kCorrectedColor);
        for (int row = 1; row <= target_count(); ++row) {
            set_leg_delta_y(legs_[row - 1], instrument().at.y, points_[row].at.y);
            finish_and_show(row);
        }
    }

    void correct_target_name(int row) {
        NamedPoint& target = points_[row];
        show_to_name(rt_, row, target.name, kOldValueColor);
        ask_text_keeping(rt_, 5, "正しい点名は", target.name);
        show_to_name(rt_, row, target.name, kCorrectedColor);
    }

    void correct_target_x(int row) {
        NamedPoint& target = points_[row];
        show_to_x(rt_, row, target.at.x, kOldValueColor);
        show(row, kHiddenColor, kStyleHidden);
        target.at.x = ask_coordinate_entry(rt_, 5, "正しいＸ座標は ", target.at.x);
        show_to_x(rt_, row, target.at.x, kCorrectedColor);
        set_leg_delta_x(legs_[row - 1], instrument().at.x, target.at.x);
        finish_and_show(row);
    }

    void correct_target_y(int row) {
        NamedPoint& target = points_[row];
        show_to_y(rt_, row, target.at.y, kOldValueColor);
        show(row, kHiddenColor, kStyleHidden);
        target.at.y = ask_coordinate_entry(rt_, 5, "正しいY座標は ", target.at.y);
        show_to_y(rt_, row, target.at.y, kCorrectedColor);
        set_leg_delta_y(legs_[row - 1], instrument().at.y, target.at.y);
        finish_and_show(row);
    }

    void hide_all_legs() {
        for (int row = 1; row <= target_count(); ++row)
            show(row, kHiddenColor, kStyleHidden);
    }

    void finish_and_show(int row) {
        finish_leg(legs_[row - 1]);
        show(row, kCorrectedColor);
    }

    // Table row r's azimuth and distance (plane, or ground while F5 has
    // turned the table to them).
    void show(int row, int color, int style = kStyleNormal) {
        const Leg& leg = legs_[row - 1];
        show_leg(rt_, row, leg, color, style, shown_.of(leg, instrument().at.y, points_[row].at.y));
    }

    // ---- redisplay --------------------------------------------------------
    // With the job's reduction each F5 turns the table between plane and
    // ground distances; without it F5 only draws the table again.
    void redisplay() {
        shown_.turn();
        rt_.cls(0);
        draw_heading(rt_, Heading{kRedisplayHeading.numbers, kRedisplayHeading.numbers_column,
                                  kRedisplayHeading.numbers_row, shown_.heading(kRedisplayHeading.headings),
                                  kRedisplayHeading.headings_column, kRedisplayHeading.headings_row,
                                  kRedisplayHeading.box},
                     14);
        show_first_row_number(rt_);
        show_from_point(rt_, 1, instrument(), kGivenColor);
        for (int row = 1; row <= target_count(); ++row) {
            show_row_number(rt_, row);
            show_to_point(rt_, row, points_[row], kComputedColor);
            show(row, kComputedColor);
        }
    }

    // ---- report -----------------------------------------------------------
    // The first target's line carries the instrument point; further lines
    // leave its columns blank.
    void report() {
        const CalculationSettings& settings = calc_.settings();
        begin_report(rt_, kReport);
        rt_.lprint(std::string(kReportHeading) + report_heading_extras(settings, /*tolerance=*/false));
        if (legs_.empty()) report_lone_point(rt_, instrument());
        for (int row = 1; row <= target_count(); ++row) {
            const NamedPoint& target = points_[row];
            const Leg& leg = legs_[row - 1];
            const std::string extras =
                report_leg_extras(settings, /*tolerance=*/false, leg, instrument().at.y, target.at.y);
            if (row == 1) {
                rt_.lprint_using("        &    &  #######.### ######.###  &    &  #######.### ######.###",
                                 {instrument().name, instrument().at.x, instrument().at.y, target.name, target.at.x,
                                  target.at.y},
                                 false);
                rt_.lprint_using("  #####.#### #####.###    ###°##′##″####.###",
                                 {leg.delta_x, leg.delta_y, leg.dms.degrees, leg.dms.minutes, leg.dms.seconds,
                                  leg.distance},
                                 extras.empty());
            } else {
                rt_.lprint_using("                                        &    &  #######.### ######.###",
                                 {target.name, target.at.x, target.at.y}, false);
                rt_.lprint_using("   ####.###　####.###    ###°##′##″####.###",
                                 {leg.delta_x, leg.delta_y, leg.dms.degrees, leg.dms.minutes, leg.dms.seconds,
                                  leg.distance},
                                 extras.empty());
            }
            if (!extras.empty()) rt_.lprint(extras);
        }
        report_settings_lines(rt_, settings, /*tolerance=*/false);
        end_report(rt_);
    }

    Calculation& calc_;

    Runtime& rt_;
    std::vector<NamedPoint> points_;
    std::vector<Leg> legs_;
    ShownDistances shown_{calc_};
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_calculation_program("invradial", argc, argv,
                                           [](marula::Calculation& calc) { marula::RadialInverse(calc).run(); });
}
