// Stake-out (杭打ち計算): from a station sighting a backsight, the azimuth,
// the angle to turn from the backsight and the distance to each of up to
// 18 points to set out. It stores nothing.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/bounded_entry.h"
#include "frame/calculation.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/plot.h"
#include "frame/point_list.h"
#include "frame/point_sequence.h"
#include "frame/report.h"
#include "frame/screen.h"
#include "base/format.h"
#include "frame/job_settings.h"
#include "survey/reduction.h"
#include "survey/stake_out.h"

namespace marula {
namespace {

constexpr ReportLayout kReport =
    table_report("                                     杭 打 ち 計 算 書", "                By MARULA    ");

constexpr int kMaxTargets = 18;
constexpr int kGivenColor = 1;
constexpr int kComputedColor = 0;
constexpr int kCorrectedColor = 4;

const Title kTitle{" 杭打ち計算 （計算は18点迄です）", 40, 0, {321, 0, 574, 16}, {320, 0, 575, 17}};
const Heading kHeading{"     1         2            3", 0, 1,
                       "NO 点 名     Ｘ座標       Ｙ座標      方向角     夾　角     距　離"};
// With the job's distance reduction on, the ground distance to measure in
// the field stands beside the plane one.
const Heading kGroundHeading{"     1         2            3", 0, 1,
                             "NO 点 名     Ｘ座標       Ｙ座標      方向角     夾　角     距　離   地上距離"};

// Table row r (1: the station, 2: the backsight, 3 on: the points) stands
// on text row r + 2. The columns of a row:
constexpr int kNameColumn = 3;       // "&    &"
constexpr int kXColumn = 10;         // "########.###"
constexpr int kYColumn = 23;         // "########.###"
constexpr int kAzimuthColumn = 37;   // "###-##-##"
constexpr int kIncludedColumn = 48;  // "###-##-##"
constexpr int kDistanceColumn = 60;  // "####.###"
constexpr int kGroundColumn = 70;    // "####.###", with the reduction on
constexpr std::string_view kCoordinateField = "########.###";
constexpr std::string_view kDistanceField = "####.###";
constexpr std::string_view kNoDirection = "         ";  // an angle's nine columns, blank
constexpr int kStationRow = 1;
constexpr int kBacksightRow = 2;

int text_row(int table_row) { return table_row + 2; }

// What the sheet and the screen show for one point to set out.
struct Setting {
    std::optional<StakeOutAngles> angles;  // none when the point or the backsight stands on the station
    double distance = 0;                   // metres from the station on the plane, not rounded
    std::optional<double> ground;          // the same on the ground, with the job's reduction on
};

// The line factor of a ground distance takes the two points' own Y.
Setting setting_out(const Point& station, const Point& backsight, const Point& target,
                    const CalculationSettings& settings) {
    Setting s{stake_out_angles(station, backsight, target), leg_distance(target.x - station.x, target.y - station.y),
              std::nullopt};
    if (settings.reducing()) s.ground = ground_distance(s.distance, settings.reduction, station.y, target.y);
    return s;
}

// The azimuth from the station to the backsight in whole seconds, rounded
// as every azimuth of the table; none when they stand in one place.
std::optional<long> backsight_azimuth(const Point& station, const Point& backsight) {
    return azimuth_seconds_between(station.x, station.y, backsight.x, backsight.y);
}

class StakeOut {
public:
    explicit StakeOut(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, kTitle);
        rt_.beep();
        rt_.wait(10);
        draw_heading(rt_, heading(), 0);
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.plot = [this] { plot(); };
        keys.print = [this] { report(); };
        keys.redisplay = [this] { redisplay(); };
        run_calculation(calc_, {.bar = KeyBar::Table, .enter = [this] { enter(); }, .keys = keys});
    }

private:
    // points_[0] is the station, points_[1] the backsight, points_[r - 1]
    // the point of table row r; settings_[r - 3] what row r shows.
    int row_count() const { return static_cast<int>(points_.size()); }
    const Heading& heading() { return calc_.settings().reducing() ? kGroundHeading : kHeading; }
    const Point& station() const { return points_[0].at; }
    const Point& backsight() const { return points_[1].at; }

    // ---- input ------------------------------------------------------------
    void enter() {
        rt_.console(3, 20);
        show_row_number(kStationRow);
        points_.push_back(ask_given("機械点", kStationRow));
        show_role(kStationRow);
        show_row_number(kBacksightRow);
        for (;;) {
            NamedPoint back = ask_given("後視点", kBacksightRow);
            if (backsight_azimuth(station(), back.at)) {
                points_.push_back(back);
                break;
            }
            // A backsight on the station gives no direction to turn from.
            print_at(rt_, kNameColumn, text_row(kBacksightRow), std::string(kDistanceColumn, ' '), kComputedColor);
            rt_.say("後視点が機械点と同じ位置です。別の点を入力して下さい。");
        }
        show_backsight(kGivenColor);
        show_role(kBacksightRow);

        for (;;) {
            NamedPoint target;
            target.name = ask_sequence_list_name(calc_);
            if (ends_point_list(target.name)) return;
            const int row = row_count() + 1;
            show_row_number(row);
            echo_name(rt_, kNameColumn, text_row(row), target.name, kComputedColor);
            target.at = ask_known_coordinates(
                            calc_, target.name, {.x_prompt = "Ｘ座標は ", .y_prompt = "Ｙ座標は "},
                            {.x = [&](double x) { show_x(row, x, kComputedColor); },
                             .y = [&](double y) { show_y(row, y, kComputedColor); }})
                            .at;
            points_.push_back(target);
            settings_.push_back(setting_out(station(), backsight(), target.at, calc_.settings()));
            show_setting(row, kComputedColor);
            if (row_count() - 2 == kMaxTargets) {
                show_limit_message(rt_, kMaxTargets);
                return;
            }
        }
    }

    // The station or the backsight: its name (the first two prompts of the
    // point sequence), X and Y, each shown in its row in the given colour.
    NamedPoint ask_given(const std::string& what, int row) {
        const KnownPoint known = ask_known_point(
            calc_,
            {.name_prompt = what + "名は", .x_prompt = what + "Ｘ座標は ", .y_prompt = what + "Ｙ座標は ",
             .in_sequence = true},
            {.name = [&](const std::string& name) { echo_name(rt_, kNameColumn, text_row(row), name, kGivenColor); },
             .x = [&](double x) { show_x(row, x, kGivenColor); },
             .y = [&](double y) { show_y(row, y, kGivenColor); }});
        return known;
    }

    // ---- display ----------------------------------------------------------
    void show_row_number(int row) { echo_number(rt_, 0, text_row(row), "##", row, kRowNumberColor); }
    void show_x(int row, double x, int color) { echo_number(rt_, kXColumn, text_row(row), kCoordinateField, x, color); }
    void show_y(int row, double y, int color) { echo_number(rt_, kYColumn, text_row(row), kCoordinateField, y, color); }
    void show_point(int row, int color) {
        const NamedPoint& p = points_[row - 1];
        echo_name(rt_, kNameColumn, text_row(row), p.name, color);
        show_x(row, p.at.x, color);
        show_y(row, p.at.y, color);
    }

    // What the station and the backsight are, where their rows have no angle.
    void show_role(int row) {
        if (row == kStationRow) print_at(rt_, kAzimuthColumn + 1, text_row(row), "機械点", kGivenColor, kStylePlain);
        else print_at(rt_, kIncludedColumn + 1, text_row(row), "後視点", kGivenColor, kStylePlain);
    }

    void show_angle(int column, int row, std::optional<long> seconds, int color, int style) {
        if (!seconds) {
            print_at(rt_, column, text_row(row), kNoDirection, color, style);
            return;
        }
        const Dms dms = dms_of_seconds(*seconds);
        echo_dms(rt_, column, text_row(row), int(dms.degrees), int(dms.minutes), int(dms.seconds), color, style,
                 "###");
    }

    void show_backsight(int color, int style = kStyleNormal) {
        show_angle(kAzimuthColumn, kBacksightRow, backsight_azimuth(station(), backsight()), color, style);
    }

    void show_setting(int row, int color, int style = kStyleNormal) {
        const Setting& s = settings_[row - 3];
        show_angle(kAzimuthColumn, row, s.angles ? std::optional(s.angles->azimuth_seconds) : std::nullopt, color,
                   style);
        show_angle(kIncludedColumn, row, s.angles ? std::optional(s.angles->included_seconds) : std::nullopt, color,
                   style);
        echo_number(rt_, kDistanceColumn, text_row(row), kDistanceField, s.distance, color, style);
        if (s.ground) echo_number(rt_, kGroundColumn, text_row(row), kDistanceField, *s.ground, color, style);
    }

    // ---- correction -------------------------------------------------------
    // Columns 1-3 are a row's name, X and Y; a row is any of the table's.
    // The station moves every angle and distance, the backsight every
    // included angle, a point its own row.
    void correct() {
        TableCorrection rules;
        rules.columns = 3;
        rules.row_fits = [this](int, int row) { return row >= 1 && row <= row_count(); };
        const std::optional<CellChoice> chosen = ask_table_cell(rt_, rules);
        if (!chosen) return;
        const int row = chosen->row;
        NamedPoint& p = points_[row - 1];
        const std::string lead = row == kStationRow ? "機械点" : row == kBacksightRow ? "後視点" : "";
        if (chosen->column == 1) {
            echo_name(rt_, kNameColumn, text_row(row), p.name, kOldValueColor);
            ask_text_keeping(rt_, 5, "正しい" + (lead.empty() ? std::string("点") : lead) + "名は", p.name);
            echo_name(rt_, kNameColumn, text_row(row), p.name, kCorrectedColor);
            return;
        }
        const bool is_x = chosen->column == 2;
        double& value = is_x ? p.at.x : p.at.y;
        auto show_value = [&](int color) { is_x ? show_x(row, value, color) : show_y(row, value, color); };
        show_value(kOldValueColor);
        const std::vector<int> moved = rows_moved_by(row);
        for (int r : moved) hide_result(r);
        value = ask_coordinate_entry(rt_, 5, "正しい" + lead + (is_x ? "Ｘ座標は " : "Ｙ座標は "), value);
        show_value(kCorrectedColor);
        for (int r : moved) {
            if (r == kBacksightRow) {
                show_backsight(kCorrectedColor);
                continue;
            }
            settings_[r - 3] = setting_out(station(), backsight(), points_[r - 1].at, calc_.settings());
            show_setting(r, kCorrectedColor);
        }
    }

    // The rows whose results a moved point changes.
    std::vector<int> rows_moved_by(int row) const {
        std::vector<int> rows;
        if (row > kBacksightRow) return {row};
        rows.push_back(kBacksightRow);
        for (int r = 3; r <= row_count(); ++r) rows.push_back(r);
        return rows;
    }

    // A row's results printed again in the background colour, which blanks
    // them before they are worked out again.
    void hide_result(int row) {
        if (row == kBacksightRow) show_backsight(kHiddenColor, kStyleHidden);
        else show_setting(row, kHiddenColor, kStyleHidden);
    }

    // ---- redisplay ----------------------------------------------------------
    void redisplay() {
        rt_.cls(0);
        draw_heading(rt_, heading(), 0);
        for (int row = 1; row <= row_count(); ++row) {
            show_row_number(row);
            show_point(row, row <= kBacksightRow ? kGivenColor : kComputedColor);
            if (row <= kBacksightRow) show_role(row);
            if (row == kBacksightRow) show_backsight(kGivenColor);
            if (row > kBacksightRow) show_setting(row, kComputedColor);
        }
    }

    // ---- plot ---------------------------------------------------------------
    // The station a filled circle, the backsight a circle joined to it by a
    // dashed line, every point a circle joined to the station.
    void plot() {
        std::vector<double> xs, ys;
        for (const NamedPoint& p : points_) {
            xs.push_back(p.at.x);
            ys.push_back(p.at.y);
        }
        const Plot plot = Plot::table(rt_, xs, ys);
        plot.circle(station().x, station().y, 2, 5, true);
        plot.circle(backsight().x, backsight().y, 1, 2);
        plot.line(station().x, station().y, backsight().x, backsight().y, 2, true);
        for (int row = 3; row <= row_count(); ++row) {
            const Point& t = points_[row - 1].at;
            plot.circle(t.x, t.y, 1, 0);
            plot.line(station().x, station().y, t.x, t.y, 0);
        }
        for (const NamedPoint& p : points_) plot.name(p.at.x, p.at.y, p.name);
        plot.direction_mark();
    }

    // ---- report -------------------------------------------------------------
    // An angle as the sheet prints it, or as many blanks where there is none.
    static std::string angle_text(std::optional<long> seconds) {
        constexpr std::string_view kField = "###°##′##″";
        if (!seconds) return std::string(std::size_t(display_width(format_using(kField, {0.0, 0.0, 0.0}))), ' ');
        const Dms dms = dms_of_seconds(*seconds);
        return format_using(kField, {dms.degrees, dms.minutes, dms.seconds});
    }

    // One line a row of the table, numbered as on the screen.
    void report() {
        begin_report(rt_, kReport);
        const bool ground = calc_.settings().reducing();
        rt_.lprint(std::string("     NO          点名　      　Ｘ座標　      　Ｙ座標　       方 向 角      夾　　角      距　離") +
                   (ground ? "    地上距離" : ""));
        for (int row = 1; row <= row_count(); ++row) {
            const NamedPoint& p = points_[row - 1];
            const std::string role = row == kStationRow ? "機械点" : row == kBacksightRow ? "後視点" : "";
            rt_.lprint_using("    ##  &    &  &    &  ########.### ########.###", {double(row), role, p.name, p.at.x, p.at.y},
                             false);
            if (row == kStationRow) {
                rt_.lprint("");
            } else if (row == kBacksightRow) {
                rt_.lprint("    " + angle_text(backsight_azimuth(station(), backsight())) + "    " +
                           angle_text(0) + "  （後視点を0°とする）");
            } else {
                const Setting& s = settings_[row - 3];
                rt_.lprint("    " + angle_text(s.angles ? std::optional(s.angles->azimuth_seconds) : std::nullopt) +
                           "    " + angle_text(s.angles ? std::optional(s.angles->included_seconds) : std::nullopt) +
                           "  " + format_using("####.###", {s.distance}) +
                           (s.ground ? "    " + format_using("####.###", {*s.ground}) : std::string()));
            }
        }
        if (ground) rt_.lprint("    " + reduction_settings_line(calc_.settings()));
        end_report(rt_);
    }

    Calculation& calc_;
    Runtime& rt_;
    std::vector<NamedPoint> points_;
    std::vector<Setting> settings_;
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_calculation_program("stakeout", argc, argv,
                                           [](marula::Calculation& calc) { marula::StakeOut(calc).run(); });
}
