// Chained inverse: the azimuth and distance of every leg along a chain of
// up to 19 points typed by name and coordinates.
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
constexpr ReportLayout kReport = table_report("                                     逆 計 算（連続）", "                By MARULA    ");

using namespace inverse;

constexpr int kComputedColor = 0;
constexpr int kGivenColor = 1;
constexpr int kCorrectedColor = 4;

const Title kTitle{" 連続逆計算 （計算は18点迄です）", 40, 0, {321, 0, 574, 16}, {320, 0, 575, 17}};
const Heading kHeading{std::string(kColumnNumbers), 0, 1,
                       "NO 座標名  　Ｘ１　     Ｙ１    座標名　　 Ｘ座標　 　Ｙ座標 　方向角   　距 離"};
// The redisplay's heading is spaced a little differently.
const Heading kRedisplayHeading{std::string(kColumnNumbers), 0, 1,
                                "NO 座標名  　Ｘ１　     Ｙ１    座標名　　 Ｘ座標　 　Ｙ座標 　方向角    距 離 "};

enum class Field { Name, X, Y };

class ChainedInverse {
public:
    explicit ChainedInverse(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, kTitle);
        rt_.beep();
        rt_.wait(10);
        draw_heading(rt_, kHeading, 0);
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.plot = [this] { plot_points(rt_, points_, /*radial=*/false); };
        keys.print = [this] { report(); };
        keys.redisplay = [this] { redisplay(); };
        // An inverse computes azimuths and distances, never a point to store.
        run_calculation(calc_, {.bar = KeyBar::Table, .enter = [this] { enter(); }, .keys = keys});
    }

private:
    // points_[0] is the start point; legs_[i] joins points_[i] to
    // points_[i + 1] and stands in table row i + 1.
    int leg_count() const { return static_cast<int>(legs_.size()); }

    // ---- input ------------------------------------------------------------
    void enter() {
        // A parcel typed into the chain closes on its first vertex.
        calc_.sequence().closes_parcels = true;
        rt_.console(3, 20);
        show_first_row_number(rt_);
        points_.push_back(ask_first_station(calc_, "開始点", kGivenColor));

        for (;;) {
            NamedPoint next;
            next.name = ask_sequence_list_name(calc_);
            if (ends_point_list(next.name)) return;
            const int row = leg_count() + 1;
            show_row_number(rt_, row);
            show_from_point(rt_, row, points_.back(), kComputedColor);
            show_to_name(rt_, row, next.name, kComputedColor);
            ask_to_coordinates(calc_, row, next, kComputedColor);
            points_.push_back(next);
            legs_.push_back(compute_leg(points_[row - 1], points_[row]));
            show(row, kComputedColor);
            if (leg_count() == kMaxLegs) {
                show_limit_message(rt_, kMaxLegs);
                return;
            }
        }
    }

    // ---- correction -------------------------------------------------------
    // Columns 1-3 hold the point a row starts from, 4-6 the point it ends
    // at; point p shows in row p (as its end) and in row p + 1 (as its
    // start), and the legs of those rows are the ones it moves.
    void correct() {
        TableCorrection rules;
        rules.columns = 6;
        rules.row_fits = [this](int, int row) { return row >= 1 && row <= leg_count(); };
        rules.has_rows = !legs_.empty();
        const std::optional<CellChoice> chosen = ask_table_cell(rt_, rules);
        if (!chosen) return;
        const CellChoice cell = *chosen;
        const int point = cell.column <= 3 ? cell.row - 1 : cell.row;
        const Field field = static_cast<Field>((cell.column - 1) % 3);
        edit(point, field);
    }

    void edit(int point, Field field) {
        show_point_field(point, field, kOldValueColor);
        NamedPoint& p = points_[point];
        if (field == Field::Name) {
            ask_text_keeping(rt_, 5, "正しい点名は", p.name);  // an empty answer keeps the name
            show_point_field(point, field, kCorrectedColor);
            return;
        }
        const std::vector<int> rows = rows_of(point);
        for (int row : rows) show(row, kHiddenColor, kStyleHidden);
        if (field == Field::X) {
            p.at.x = ask_coordinate_entry(rt_, 5, "正しいＸ座標は ", p.at.x);
        } else {
            p.at.y = ask_coordinate_entry(rt_, 5, "正しいＹ座標は ", p.at.y);
        }
        show_point_field(point, field, kCorrectedColor);
        for (int row : rows) {
            Leg& leg = legs_[row - 1];
            const NamedPoint& from = points_[row - 1];
            const NamedPoint& to = points_[row];
            if (field == Field::X) {
                set_leg_delta_x(leg, from.at.x, to.at.x);
            } else {
                set_leg_delta_y(leg, from.at.y, to.at.y);
            }
            finish_leg(leg);
            show(row, kCorrectedColor);
        }
    }

    // The table rows that show point p: their legs are the ones it moves.
    std::vector<int> rows_of(int point) const {
        std::vector<int> rows;
        if (point >= 1) rows.push_back(point);
        if (point + 1 <= leg_count()) rows.push_back(point + 1);
        return rows;
    }

    // Every cell of the table that shows one field of point p.
    void show_point_field(int point, Field field, int color) {
        const NamedPoint& p = points_[point];
        if (point >= 1) {
            switch (field) {
            case Field::Name: show_to_name(rt_, point, p.name, color); break;
            case Field::X: show_to_x(rt_, point, p.at.x, color); break;
            case Field::Y: show_to_y(rt_, point, p.at.y, color); break;
            }
        }
        if (point + 1 <= leg_count()) {
            switch (field) {
            case Field::Name: show_from_name(rt_, point + 1, p.name, color); break;
            case Field::X: show_from_x(rt_, point + 1, p.at.x, color); break;
            case Field::Y: show_from_y(rt_, point + 1, p.at.y, color); break;
            }
        }
    }

    // Table row r's azimuth and distance (plane, or ground while F5 has
    // turned the table to them).
    void show(int row, int color, int style = kStyleNormal) {
        const Leg& leg = legs_[row - 1];
        show_leg(rt_, row, leg, color, style, shown_.of(leg, points_[row - 1].at.y, points_[row].at.y));
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
                     1);
        show_first_row_number(rt_);
        show_from_point(rt_, 1, points_[0], kComputedColor);
        for (int row = 1; row <= leg_count(); ++row) {
            show_row_number(rt_, row);
            show_from_point(rt_, row, points_[row - 1], kComputedColor);
            show_to_point(rt_, row, points_[row], kComputedColor);
            show(row, kComputedColor);
        }
    }

    // ---- report -----------------------------------------------------------
    void report() {
        const CalculationSettings& settings = calc_.settings();
        begin_report(rt_, kReport);
        rt_.lprint(std::string(kReportHeading) + report_heading_extras(settings, /*tolerance=*/true));
        if (legs_.empty()) report_lone_point(rt_, points_[0]);
        for (int row = 1; row <= leg_count(); ++row) {
            const NamedPoint& from = points_[row - 1];
            const NamedPoint& to = points_[row];
            const Leg& leg = legs_[row - 1];
            rt_.lprint_using("        &    &  #######.### ######.###  &    &  #######.### ######.###",
                             {from.name, from.at.x, from.at.y, to.name, to.at.x, to.at.y}, false);
            const std::string extras = report_leg_extras(settings, /*tolerance=*/true, leg, from.at.y, to.at.y);
            rt_.lprint_using("  #####.### ####.###    ###°##′##″####.###",
                             {leg.delta_x, leg.delta_y, leg.dms.degrees, leg.dms.minutes, leg.dms.seconds,
                              leg.distance},
                             extras.empty());
            if (!extras.empty()) rt_.lprint(extras);
        }
        report_settings_lines(rt_, settings, /*tolerance=*/true);
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
    return marula::run_calculation_program("invchain", argc, argv,
                                           [](marula::Calculation& calc) { marula::ChainedInverse(calc).run(); });
}
