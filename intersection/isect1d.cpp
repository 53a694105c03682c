// Three points one direction: where the line through point 3 in the given
// direction crosses the line through points 1 and 2.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "frame/bounded_entry.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/report.h"
#include "frame/screen.h"
#include "frame/calculation.h"
#include "intersection/intersection_frame.h"

namespace marula {
namespace {

// The printed page: its paper, title, by-line and spacing.
constexpr ReportLayout kReport = form_report("                 交 点 計 算（３点１方向交点）");

using namespace isect;

constexpr int kFields = 11;  // the last one corrects the crossing's name
constexpr int kDirectionField = 10;
constexpr int kResultRow = 12;

// Laid on the stored points before every calculation.
const std::array<PointNudge, 4> kNudges{{{}, {kNudge1e7, kNudge1e7}, {kNudge4e7, kNudge3e7}, {kNudge1e8, kNudge5e7}}};
// Laid on a corrected coordinate right after it is typed.
const PointNudge kCorrectionNudge{kNudge15e8, kNudge25e8};

// Where points 1-3 stand on the form.
const std::array<PointPlace, 4> kPlaces{{{}, {5, 13, 26, 5}, {46, 54, 67, 5}, {13, 21, 34, 8}}};

class OneDirection {
public:
    explicit OneDirection(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run()
    {
        start_screen(rt_);
        draw_title(rt_, {" ３点１方向交点計算 ", 50, 0, {401, 0, 558, 16}, {400, 0, 559, 17}});
        rt_.beep();
        print_at(rt_, 3, 2, "最初に直線上の２点の座標を入力してから３点目の座標と方向角を入力します", 1,
                 kStylePlain);
        rt_.wait(10);
        draw_form(0);
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.print = [this] { report(); };
        run_calculation(calc_, {.bar = KeyBar::Form,
                                .enter =
                                    [this] {
                                        enter();
                                        calculate_and_show();
                                    },
                                .computed = [this] { return demonstration_ ? std::vector<NamedPoint>{} : crossing_to_store(crossing_name_, crossing_); },
                                .keys = keys});
    }

private:
    // ---- screen ---------------------------------------------------------
    void draw_form(int frame)
    {
        print_at(rt_, 0, 3, "       1           2           3                 4            5          6",
                 kNumberColor);
        print_at(rt_, 12, 6, "   7           8           9           10       ", kNumberColor);
        rt_.console(22, 1);
        print_at(rt_, 2, 4, "   点名１     　Ｘ１　      Ｙ１    ", kHeadingColor, kStylePlain);
        print_at(rt_, 43, 4, "   点名２  　 　Ｘ２　　　　Ｙ２    ", kHeadingColor, kStylePlain);
        print_at(rt_, 10, 7, "   点名３     　Ｘ３        Ｙ３      方 向 角   ", kHeadingColor, kStylePlain);
        heading_box(rt_, {16, 72, 303, 88}, 15, 0, frame);
        heading_box(rt_, {344, 72, 631, 88}, 15, frame, frame);
        heading_box(rt_, {80, 126, 471, 142}, 15, frame, frame);
        rt_.color(kPromptColor, kStyleNormal);
    }

    // Fields 1-9 are the points' names and coordinates, 10 the direction,
    // 11 the name in the result line.
    void show_field(int n, int color)
    {
        if (n == kFields) {
            echo_name(rt_, 40, kResultRow, crossing_name_, color);
            return;
        }
        if (n == kDirectionField) {
            const Dms& d = direction_.dms;
            echo_dms(rt_, 46, 8, int(d.degrees), int(d.minutes), int(d.seconds), color);
            return;
        }
        const int k = (n - 1) / 3 + 1;
        show_known_field(rt_, kPlaces[k], points_[k], (n - 1) % 3, color);
    }

    // ---- input ----------------------------------------------------------
    // An empty answer keeps the value already there (the presets at first).
    void enter()
    {
        for (int k = 1; k <= 3; ++k) {
            ask_text_keeping(rt_, 5, kPointPrompts[k].name, points_[k].name);
            show_field(3 * k - 2, kPromptColor);
            for (;;) {
                enter_coordinates(k);
                // Point 2 must stand apart from point 1 to give a line.
                if (k != 2 || !same_place(points_[1].at, points_[2].at)) break;
                rt_.notice(kSamePlace);
            }
        }
        direction_.packed = ask_direction(rt_, "方向角は(20度25分12秒は20.2512と入力）", kPromptColor,
                                          direction_.packed);
        convert(direction_);
        show_field(kDirectionField, kPromptColor);
        ask_text_keeping(rt_, 5, "交点名は ", crossing_name_);
        clear_prompt_row(rt_);
    }

    // A point the job holds offers its stored X and Y in place of the
    // presets.
    void enter_coordinates(int k)
    {
        if (enter_known_coordinates(calc_, points_[k], kPointPrompts[k], true,
                                    [&](int field) { show_field(3 * k - 2 + field, kPromptColor); }))
            demonstration_ = true;
    }

    // ---- calculation and result -------------------------------------------
    void calculate_and_show()
    {
        const double base = distance(points_[1].at, points_[2].at);
        construction_ = point_along(points_[3].at, direction_.degrees, 2 * base);
        for (int k = 1; k <= 3; ++k) add_nudge(points_[k].at, kNudges[k]);
        const Point& a = points_[1].at;
        const Point& b = points_[2].at;
        const Point& c = points_[3].at;
        failure_ = same_place(a, b) ? kNoLine : kNoCrossing;
        crossing_ = failure_ == kNoLine ? std::nullopt : cross_lines(a, b, c, construction_, XNudge::Add);
        show_result(rt_, kResultRow, crossing_name_, crossing_, known(), failure_);

        const std::array<Point, 4> extent{a, b, c, construction_};
        const Plot plot = start_plot(rt_, extent);
        plot.circle(a.x, a.y, 2, 5);
        plot.circle(c.x, c.y, 2, 5);
        plot.line(a.x, a.y, b.x, b.y, 3);
        plot.line(c.x, c.y, construction_.x, construction_.y, 6);
        for (int k = 1; k <= 3; ++k) plot.name(points_[k].at.x, points_[k].at.y, points_[k].name);
        plot.direction_mark();
    }

    std::span<const NamedPoint> known() const { return std::span(points_).subspan(1, 3); }

    // ---- correction -------------------------------------------------------
    void correct()
    {
        const int n = ask_correction(rt_, kFields, 11);
        show_field(n, kOldValueColor);
        if (n == kFields) {
            ask_text_keeping(rt_, 5, "正しい交点名は", crossing_name_);
        } else if (n == kDirectionField) {
            direction_.packed = ask_direction(rt_, "正しい方向角は", kPromptColor, direction_.packed);
            direction_.packed += kNudge2e7;
        } else {
            const int k = (n - 1) / 3 + 1;
            correct_point_field(rt_, points_[k], (n - 1) % 3, kThreePointCorrectionPrompts[k], kCorrectionNudge);
        }
        redisplay();
    }

    // The form again from the stored values (title and guide stay off); the
    // direction is read once more and the nudge laid on once more.
    void redisplay()
    {
        rt_.cls(0);
        draw_form(14);
        convert(direction_);
        for (int n = 1; n < kFields; ++n) show_field(n, kPromptColor);
        calculate_and_show();
    }

    // ---- report -----------------------------------------------------------
    void report()
    {
        begin_report(rt_, kReport);
        const NamedPoint& p1 = points_[1];
        const NamedPoint& p2 = points_[2];
        const NamedPoint& p3 = points_[3];
        rt_.lprint("   　 　　点 名　   　Ｘ１　　   Ｙ１ 　     点 名       Ｘ２       Ｙ２　 ");
        rt_.lprint_using("    　 　 &    &  #######.### ######.###     &    &  #######.### ######.### ",
                         {p1.name, p1.at.x, p1.at.y, p2.name, p2.at.x, p2.at.y});
        rt_.lprint("");
        rt_.lprint("     　　　　　 　 　　点 名　   　Ｘ３　　   Ｙ３ 　     方　向　角　 ");
        rt_.lprint_using("          　　　　　　 &    &  #######.### ######.###     ###°##′##″",
                         {p3.name, p3.at.x, p3.at.y, direction_.dms.degrees, direction_.dms.minutes,
                          direction_.dms.seconds});
        for (int i = 0; i < 3; ++i) rt_.lprint("");
        report_crossing(rt_, "             　 交 点 &    &  X=#######.###   Y=######.###", crossing_name_, crossing_,
                        known(), failure_);
        end_report(rt_);
    }

    Calculation& calc_;

    Runtime& rt_;
    std::array<NamedPoint, 4> points_{{
        {},
        {"e91234", {-146774.089, -3353.248}},
        {"E10", {-146735.997, -3274.645}},
        {"k29456", {-146747.806, -3316.290}},
    }};
    // The preset direction is a single-precision value.
    Direction direction_{double(195.5017f), {}, 0};
    Point construction_;
    std::string crossing_name_ = "KOTEN";
    std::optional<Point> crossing_;
    // A known point kept a demonstration preset: the crossing is the
    // demonstration's too and is not stored in the job.
    bool demonstration_ = false;
    std::string_view failure_ = kNoCrossing;  // why there is no crossing_
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv)
{
    return marula::run_calculation_program("isect1d", argc, argv,
                                           [](marula::Calculation& calc) { marula::OneDirection(calc).run(); });
}
