// Coordinate area: the double area and area of a polygon of up to 18
// vertices, with every side's azimuth and length.
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "area/polygon_area.h"
#include "frame/correction.h"
#include "frame/bounded_entry.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/plot.h"
#include "frame/point_list.h"
#include "frame/point_sequence.h"
#include "frame/calculation.h"
#include "frame/report.h"
#include "frame/screen.h"
#include "base/format.h"
#include "survey/tolerance.h"
#include "base/text_codec.h"
#include "job/parcels.h"
#include "survey/parcel_area.h"

namespace marula {
namespace {

// The printed page: the table's, in its own pitches.
constexpr ReportLayout kReport = [] {
    ReportLayout layout = table_report("                                     座 標 面 積 計 算", "  By MARULA   ");
    layout.by_line_pitch = {115, 222};
    layout.body_pitch = {115, 320};
    return layout;
}();

using namespace area;

constexpr int kMaxVertices = 18;
constexpr int kMinVertices = 3;
constexpr int kEnteredColor = 0;
constexpr int kResultColor = 1;
constexpr int kCorrectedColor = 12;
constexpr std::string_view kTooFew = "面積の計算には３点以上が必要です。";

const Title kTitle{" 座標面積計算 （計算は18点迄です）", 40, 0, {321, 0, 590, 16}, {320, 0, 591, 17}};
const Heading kLeftHeading{"     1            2          3", 0, 1, " NO 点 名  　    Ｘn　      Ｙn   ", 0, 2,
                           {0, 36, 272, 53}};
const Heading kRightHeading{"", 0, 1, " Xn+1-Xn-1  (Xn+1-Xn-1)Ｙn 　方向角 　距 離 ", 35, 2, {280, 36, 632, 53}};

// Vertex i (1-based) stands on text row i + 2.
int text_row(int vertex) { return vertex + 2; }

class CoordinateArea {
public:
    explicit CoordinateArea(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, kTitle);
        rt_.beep();
        rt_.wait(10);
        draw_headings();
        KeyActions keys;
        keys.redisplay = [this] { redisplay(); };
        // With too many vertices there is no area: correction, plot and
        // report only beep.
        keys.correct = [this] { result_ ? correct() : rt_.beep(); };
        keys.plot = [this] { result_ ? plot() : rt_.beep(); };
        keys.print = [this] { result_ ? report() : rt_.beep(); };
        // In a job, F9 (on no bar) keeps the vertices as a parcel.
        if (calc_.job()) keys.f9 = [this] { result_ ? keep_as_parcel() : rt_.beep(); };
        run_calculation(calc_, {.bar = KeyBar::Table,
                                .enter =
                                    [this] {
                                        enter();
                                        if (result_) show_result();
                                    },
                                .keys = keys});
    }

private:
    int count() const { return static_cast<int>(vertices_.size()); }

    void draw_headings() {
        draw_heading(rt_, kLeftHeading, 0);
        draw_heading(rt_, kRightHeading, 0);
    }

    // ---- input ------------------------------------------------------------
    void enter() {
        rt_.console(3, 20);
        print_at(rt_, 0, text_row(1), "  1", kRowNumberColor);
        enter_vertex(ask_sequence_name(calc_, 5, "点名は"));
        sides_.push_back(Side{});  // the closing side's place, filled with the area
        for (;;) {
            std::string name = ask_sequence_list_name(calc_, 5, "点名は（終了は");
            if (ends_point_list(name)) {
                // Two vertices enclose nothing: the list goes on.
                if (count() < kMinVertices) {
                    rt_.notice(kTooFew);
                    continue;
                }
                break;
            }
            echo_number(rt_, 0, text_row(count() + 1), "###", count() + 1, kRowNumberColor);
            enter_vertex(std::move(name));
            sides_.push_back(polygon_side(vertices_[count() - 2], vertices_.back()));
            show_side(count(), kEnteredColor);
            if (count() > kMaxVertices) {
                show_limit_message(rt_, kMaxVertices);
                return;
            }
        }
        calculate();
    }

    void enter_vertex(std::string name) {
        NamedPoint v;
        v.name = std::move(name);
        const int row = text_row(count() + 1);
        echo_name(rt_, 5, row, v.name, kEnteredColor);
        // A vertex the job holds offers its stored X and Y.
        const KnownPoint known = ask_known_coordinates(calc_, v.name, {.x_prompt = "Ｘ座標は ", .y_prompt = "Ｙ座標は "},
            {.x = [&](double x) { echo_number(rt_, 12, row, "#######.###", x, kEnteredColor); },
             .y = [&](double y) { echo_number(rt_, 23, row, "######.###", y, kEnteredColor); }});
        v.at = known.at;
        vertices_.push_back(v);
    }

    // ---- calculation --------------------------------------------------------
    // sides_[i - 1] is the side ending at vertex i; the first is the closing
    // side from the last vertex.
    void calculate() {
        const int n = count();
        sides_.assign(n, Side{});
        for (int i = 2; i <= n; ++i) sides_[i - 1] = polygon_side(vertices_[i - 2], vertices_[i - 1]);
        sides_[0] = polygon_side(vertices_[n - 1], vertices_[0]);
        result_ = polygon_area(vertices_);
    }

    // ---- display ------------------------------------------------------------
    void show_side(int vertex, int color, int style = kStyleNormal) {
        const Side& side = sides_[vertex - 1];
        const int row = text_row(vertex);
        echo_dms(rt_, 62, row, int(side.dms.degrees), int(side.dms.minutes), int(side.dms.seconds), color, style,
                 "###");
        echo_number(rt_, 71, row, "####.###", side.length, color, style);
    }

    void show_row(int vertex) {
        const NamedPoint& v = vertices_[vertex - 1];
        const AreaTerms& t = result_->terms[vertex - 1];
        print_at(rt_, 0, text_row(vertex),
                 format_using(" ##  &    & #######.### ######.### ####.### #########.######",
                              {double(vertex), v.name, v.at.x, v.at.y, t.a, t.p}),
                 kEnteredColor);
        echo_number(rt_, 0, text_row(vertex), " ##", vertex, kRowNumberColor);
        show_side(vertex, kEnteredColor);
    }

    void show_area_line(int color, int style = kStyleNormal) {
        print_at(rt_, 30, count() + 3,
                 format_using("倍面積#######.###### 　面積#######.######", {result_->double_area, result_->area}),
                 color, style);
    }

    void show_result() {
        for (int i = 1; i <= count(); ++i) show_row(i);
        show_area_line(kResultColor);
        const int top = 18 * (count() + 3);
        shadowed_box(rt_, {232, top - 1, 576, top + 16}, 14, 14);
    }

    // Every value derived from the coordinates printed again in the
    // background colour, which blanks it before a recalculation.
    void hide_derived() {
        for (int i = 1; i <= count(); ++i) {
            const AreaTerms& t = result_->terms[i - 1];
            echo_number(rt_, 35, text_row(i), "####.###", t.a, kHiddenColor, kStyleHidden);
            echo_number(rt_, 44, text_row(i), "#########.######", t.p, kHiddenColor, kStyleHidden);
            show_side(i, kHiddenColor, kStyleHidden);
        }
        show_area_line(kHiddenColor, kStyleHidden);
    }

    // ---- correction ---------------------------------------------------------
    void correct() {
        TableCorrection rules;
        rules.columns = 3;
        rules.row_fits = [this](int, int row) { return row >= 1 && row <= count(); };
        const std::optional<CellChoice> chosen = ask_table_cell(rt_, rules);
        if (!chosen) return;
        const CellChoice cell = *chosen;
        NamedPoint& v = vertices_[cell.row - 1];
        const int row = text_row(cell.row);
        if (cell.column == 1) {
            echo_name(rt_, 5, row, v.name, kOldValueColor);
            ask_text_keeping(rt_, 5, "正しい点名は", v.name);  // an empty answer keeps the name
            echo_name(rt_, 5, row, v.name, kCorrectedColor);
            return;
        }
        const bool is_x = cell.column == 2;
        const int column = is_x ? 12 : 23;
        double& value = is_x ? v.at.x : v.at.y;
        echo_number(rt_, column, row, "#######.###", value, kOldValueColor);
        hide_derived();
        value = ask_coordinate_entry(rt_, 5, is_x ? "正しいＸ座標は " : "正しいＹ座標は ", value);
        calculate();
        for (int i = 1; i <= count(); ++i) show_row(i);
        show_area_line(kResultColor);
        echo_number(rt_, column, row, "#######.###", value, kCorrectedColor);
    }

    // ---- redisplay ----------------------------------------------------------
    void redisplay() {
        rt_.cls(0);
        draw_headings();
        if (result_) {
            show_result();
            return;
        }
        // Input ended at the limit: the vertices as they were entered.
        for (int i = 1; i <= count(); ++i) {
            const NamedPoint& v = vertices_[i - 1];
            echo_number(rt_, 0, text_row(i), "###", i, kRowNumberColor);
            echo_name(rt_, 5, text_row(i), v.name, kEnteredColor);
            echo_number(rt_, 12, text_row(i), "#######.###", v.at.x, kEnteredColor);
            echo_number(rt_, 23, text_row(i), "######.###", v.at.y, kEnteredColor);
            if (i >= 2) show_side(i, kEnteredColor);
        }
    }

    // ---- plot ---------------------------------------------------------------
    void plot() {
        std::vector<double> xs, ys;
        for (const NamedPoint& v : vertices_) {
            xs.push_back(v.at.x);
            ys.push_back(v.at.y);
        }
        const Plot plot = Plot::table(rt_, xs, ys);
        for (int i = 0; i < count(); ++i) {
            const NamedPoint& v = vertices_[i];
            plot.circle(v.at.x, v.at.y, 1, i == 0 ? 5 : 0, i == 0);
            const NamedPoint& previous = vertices_[(i + count() - 1) % count()];
            plot.line(previous.at.x, previous.at.y, v.at.x, v.at.y, 0);
        }
        for (const NamedPoint& v : vertices_) plot.name(v.at.x, v.at.y, v.name);
        plot.direction_mark();
    }

    // ---- report -------------------------------------------------------------
    void report() {
        begin_report(rt_, kReport);
        rt_.lprint(
            "         　点名　     　Ｘｎ　　   Ｙｎ 　     Xn+1-Xn-1　　(Xn+1-Xn-1)Yn    Yn+1-Yn-1     "
            "(Yn+1-Yn-1)Xn  　方 向 角　   　距 離");
        for (int i = 1; i <= count(); ++i) {
            const NamedPoint& v = vertices_[i - 1];
            const AreaTerms& t = result_->terms[i - 1];
            const Side& s = sides_[i - 1];
            rt_.lprint_using("           &    &  #######.### ######.###   #######.### #########.######",
                             {v.name, v.at.x, v.at.y, t.a, t.p}, false);
            rt_.lprint_using("  #######.###　#########.######    ###°##′##″####.###",
                             {t.b, t.q, s.dms.degrees, s.dms.minutes, s.dms.seconds, s.length});
        }
        rt_.lprint_using(
            "                                                  倍面積#########.######  　　   倍面積#########.######",
            {result_->double_area, result_->second_double_area});
        // The lines a job adds under the area need the large size's own
        // spacing: at 240 they would run into it.
        report_font(rt_, 260, 180, calc_.job() ? 360 : 240);
        rt_.lprint_using("                                  面積#######.######", {result_->area});
        report_area_tolerance();
        if (calc_.job()) report_land_area();
        end_report(rt_);
    }

    // Under a cadastral class, the tolerance of the area as computed (its
    // size, whichever way round the vertices went), to 0.01 ㎡.
    void report_area_tolerance() {
        const ToleranceClass c = calc_.settings().tolerance;
        const std::optional<double> tolerance = area_tolerance_m2(c, result_->area);
        if (!tolerance) return;
        rt_.lprint("                                  面積の許容誤差（" + std::string(tolerance_class_label(c)) + "）" +
                   format_using("######.##", {*tolerance}) + " ㎡");
    }

    // In a job the sheet also gives the area without its sign (which only
    // tells the order of the vertices) and the registered area cut from it.
    void report_land_area() {
        rt_.lprint_using("                        面積（絶対値）#######.######", {std::fabs(result_->area)});
        if (const std::optional<LandArea> land = land_area(result_->area))
            rt_.lprint("                                  " + land_area_line(*land));
    }

    // ---- F9: the vertices kept as a parcel -----------------------------------
    // The name is asked whatever the job holds, so a replay reads the same
    // input; what the job holds is looked at only outside a replay, which
    // stores nothing. Every vertex must be a point the job holds where the
    // area took it, to the millimetre: the parcel then is the figure the
    // sheet shows.
    void keep_as_parcel() {
        erase_key_bar(rt_, KeyBar::Table);
        std::string name;
        for (;;) {
            const job::NameCheck check = job::check_name(ask_text(rt_, 5, "画地名は"));
            if (check.problem == job::NameProblem::empty) return;  // Enter: nothing kept
            if (check.ok()) {
                name = check.name;
                break;
            }
            rt_.say("画地名：" + job::describe(check.problem));
        }
        if (rt_.replaying()) return;
        std::vector<std::string> names;
        for (const NamedPoint& v : vertices_) {
            const std::optional<job::Point> stored = calc_.stored_point(v.name);
            if (!stored) return rt_.say("「" + v.name + "」は現場にない点です。画地にできません。");
            if (job::to_millimetres(v.at.x) != stored->x || job::to_millimetres(v.at.y) != stored->y)
                return rt_.say("「" + v.name + "」の座標が現場と違います。画地にできません。");
            names.push_back(stored->name);
        }
        job::Parcels parcels(calc_.job()->database());
        const auto existing = parcels.find(name);
        if (!existing.ok()) return calc_.session().say_trouble(existing.trouble);
        job::ParcelWrite mode = job::ParcelWrite::add;
        if (existing.value) {
            const std::string question = "画地「" + name + "」を置き換えますか（Y/N）";
            const std::string answer = ask_text(rt_, 0, question + " ");
            // A question the job caused: its answer is kept apart from the input.
            rt_.job_question_answered(question, answer);
            if (!is_yes(answer)) return;
            mode = job::ParcelWrite::replace;
        }
        const job::WriteResult w =
            parcels.put(name, names, mode, {rt_.program(), "入力", calc_.session().journal_run()});
        if (!w.ok()) return calc_.session().say(w.message);
        rt_.say("画地「" + name + "」を記憶しました（" + std::to_string(names.size()) + "点）。");
    }

    Calculation& calc_;

    Runtime& rt_;
    std::vector<NamedPoint> vertices_;
    std::vector<Side> sides_;
    std::optional<PolygonArea> result_;
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_calculation_program("coordarea", argc, argv,
                                           [](marula::Calculation& calc) { marula::CoordinateArea(calc).run(); });
}
