// Perpendicular foot: the foot of the perpendicular from point 3 onto the
// line through points 1 and 2. F7 keeps the line and takes a further
// point 3, so a series of points can be projected onto one line.
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
constexpr ReportLayout kReport = form_report("                 交 点 計 算（３点垂線交点）");

using namespace isect;

constexpr int kFields = 10;  // the last one corrects the foot's name
constexpr int kResultRow = 13;

// Laid on the stored points before every calculation; points 1 and 2 keep
// theirs through a series of third points.
const std::array<PointNudge, 4> kNudges{{{}, {kNudge1e7, kNudge1e7}, {kNudge4e7, kNudge3e7}, {kNudge1e8, kNudge5e7}}};
// Laid on a corrected coordinate right after it is typed.
const PointNudge kCorrectionNudge{kNudge15e8, kNudge25e8};

// Where points 1-3 stand on the form.
const std::array<PointPlace, 4> kPlaces{{{}, {5, 13, 26, 5}, {46, 54, 67, 5}, {19, 27, 40, 8}}};

// The perpendicular direction: a quarter turn clockwise of the line,
// brought back under 360 by one subtraction.
double perpendicular(double azimuth)
{
    double p = azimuth + 90;
    if (p > 360) p = p - 360;
    return p;
}

class PerpendicularFoot {
public:
    explicit PerpendicularFoot(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run()
    {
        start_screen(rt_);
        draw_title();
        rt_.beep();
        print_at(rt_, 10, 1, "最初に直線上の２点の座標を入力してから３点目の座標を入力します", 1, kStylePlain);
        print_at(rt_, 12, 2, "３点目の連続入力は【Ｆ７】キ－で行って下さい。", 1, kStylePlain);
        draw_form(0);
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.print = [this] { report(); };
        keys.extra = [this] { next_point(); };
        run_calculation(calc_, {.bar = KeyBar::FormWithNext,
                                .enter =
                                    [this] {
                                        for (int k = 1; k <= 2; ++k) enter_point(k);
                                        enter_third();
                                    },
                                .computed = [this] { return crossing_to_store(foot_name_, foot_); },
                                .keys = keys});
    }

private:
    // ---- screen ---------------------------------------------------------
    void draw_title()
    {
        print_at(rt_, 50, 0, " ３点垂線交点計算 ", kTitleColor, kStylePlain);
        rt_.box(401, 0, 542, 16, 15);
        rt_.box(400, 0, 543, 17, 14);
        // The shadow stands one pixel clear of the box.
        for (int i = 0; i < 3; ++i) {
            rt_.line(400 + i, 17 + i, 544 + i, 17 + i, 14);
            rt_.line(544 + i, i, 544 + i, 17 + i, 14);
        }
    }

    // `frame` is 0 at the start and 1 on a redisplay or a further point.
    void draw_form(int frame)
    {
        print_at(rt_, 0, 3, "       1           2           3                4           5           6",
                 kNumberColor);
        print_at(rt_, 18, 6, "   7           8           9       ", kNumberColor);
        rt_.console(22, 1);
        print_at(rt_, 2, 4, "   点名１     　Ｘ１　      Ｙ１    ", kHeadingColor, kStylePlain);
        print_at(rt_, 43, 4, "   点名２  　 　Ｘ２　　　　Ｙ２    ", kHeadingColor, kStylePlain);
        print_at(rt_, 16, 7, "   点名３     　Ｘ３        Ｙ３    ", kHeadingColor, kStylePlain);
        heading_box(rt_, {16, 72, 303, 88}, 15, 0, frame);
        heading_box(rt_, {344, 72, 631, 88}, 15, frame, frame);
        heading_box(rt_, {128, 126, 416, 142}, 15, frame, frame);
        rt_.color(kPromptColor, kStyleNormal);
    }

    // Fields 1-9 are the points' names and coordinates, 10 the name in the
    // result line.
    void show_field(int n, int color)
    {
        if (n == kFields) {
            echo_name(rt_, 40, kResultRow, foot_name_, color);
            return;
        }
        const int k = (n - 1) / 3 + 1;
        show_known_field(rt_, kPlaces[k], points_[k], (n - 1) % 3, color);
    }

    // ---- input ----------------------------------------------------------
    void enter_point(int k)
    {
        points_[k].name = ask_text(rt_, 5, kPointPrompts[k].name);
        show_field(3 * k - 2, kPromptColor);
        for (;;) {
            enter_known_coordinates(calc_, points_[k], kPointPrompts[k], false,
                                    [&](int field) { show_field(3 * k - 2 + field, kPromptColor); });
            // Point 2 on point 1 gives no line to project onto.
            if (k != 2 || !same_place(points_[1].at, points_[2].at)) return;
            rt_.notice(kSamePlace);
        }
    }

    // Point 3 and the foot's name, then the calculation; F7 comes back
    // here for the next point 3.
    void enter_third()
    {
        enter_point(3);
        foot_name_ = ask_text(rt_, 5, "交点名は ");
        clear_prompt_row(rt_);
        calculate_and_show();
    }

    // ---- calculation and result -------------------------------------------
    void calculate_and_show()
    {
        Point& a = points_[1].at;
        Point& b = points_[2].at;
        Point& c = points_[3].at;
        line_ = !same_place(a, b);
        show_line_azimuth();
        const double base = distance(a, b);
        construction_ = point_along(c, perpendicular(azimuth_), 2 * base);
        for (int k = 1; k <= 3; ++k) add_nudge(points_[k].at, kNudges[k]);
        foot_ = line_ ? cross_lines(a, b, c, construction_, XNudge::Add) : std::nullopt;
        show_result(rt_, kResultRow, foot_name_, foot_, known(), line_ ? kNoCrossing : kNoLine);

        const std::array<Point, 4> extent{a, b, c, construction_};
        const Plot plot = start_plot(rt_, extent);
        plot.line(a.x, a.y, b.x, b.y, 3);
        if (foot_) {
            plot.circle(foot_->x, foot_->y, 2, 5);
            plot.line(c.x, c.y, foot_->x, foot_->y, 6);
        }
        for (int k = 1; k <= 3; ++k) plot.name(points_[k].at.x, points_[k].at.y, points_[k].name);
        plot.direction_mark();
    }

    // The azimuth from point 1 to point 2 under "… から … への方向角"; no
    // figure when the two points give no line.
    void show_line_azimuth()
    {
        const Point& a = points_[1].at;
        const Point& b = points_[2].at;
        azimuth_ = azimuth_from_deltas(b.x - a.x, b.y - a.y, kInverseNudges).azimuth;
        azimuth_dms_ = degrees_to_dms_b(azimuth_);
        print_at(rt_, 50, 10, points_[1].name + "から" + points_[2].name + "への方向角", kPromptColor);
        if (line_)
            echo_dms(rt_, 60, 11, int(azimuth_dms_.degrees), int(azimuth_dms_.minutes), int(azimuth_dms_.seconds),
                     kPromptColor, kStyleNormal, "###");
    }

    std::span<const NamedPoint> known() const { return std::span(points_).subspan(1, 3); }

    // ---- correction, redisplay and the next point ---------------------------
    void correct()
    {
        const int n = ask_correction(rt_, kFields, 12);
        show_field(n, kOldValueColor);
        if (n == kFields) {
            ask_text_keeping(rt_, 5, "正しい交点名は", foot_name_);
        } else {
            const int k = (n - 1) / 3 + 1;
            correct_point_field(rt_, points_[k], (n - 1) % 3, kThreePointCorrectionPrompts[k], kCorrectionNudge);
        }
        rt_.cls(0);
        draw_form(1);
        for (int n = 1; n < kFields; ++n) show_field(n, kPromptColor);
        calculate_and_show();
    }

    // Points 1 and 2 stay with the nudges laid on them so far; a new
    // point 3 and foot name are asked.
    void next_point()
    {
        rt_.cls(0);
        draw_form(1);
        for (int n = 1; n <= 6; ++n) show_field(n, kPromptColor);
        enter_third();
    }

    // ---- report -----------------------------------------------------------
    void report()
    {
        begin_report(rt_, kReport);
        const NamedPoint& p1 = points_[1];
        const NamedPoint& p2 = points_[2];
        const NamedPoint& p3 = points_[3];
        rt_.lprint("   　 　　点 名　   　Ｘ１　　   Ｙ１ 　   点 名       Ｘ２       Ｙ２ ");
        rt_.lprint_using("    　 　 &    &  #######.### ######.###   &    &  #######.### ######.### ",
                         {p1.name, p1.at.x, p1.at.y, p2.name, p2.at.x, p2.at.y});
        rt_.lprint("");
        rt_.lprint_using("          方向角（&    &から&    &）   　　点 名　   　Ｘ３　　   Ｙ３", {p1.name, p2.name});
        if (line_) {
            rt_.lprint_using("          ###°##′##″       　　　　　　 &    &  #######.### ######.### ",
                             {azimuth_dms_.degrees, azimuth_dms_.minutes, azimuth_dms_.seconds, p3.name, p3.at.x,
                              p3.at.y});
        } else {
            // No line, no azimuth: its place is left blank.
            rt_.lprint_using("                           　　　　　　 &    &  #######.### ######.### ",
                             {p3.name, p3.at.x, p3.at.y});
        }
        for (int i = 0; i < 3; ++i) rt_.lprint("");
        report_crossing(rt_, "             　 交 点 &    &  X=#######.###   Y=######.###", foot_name_, foot_, known(),
                        line_ ? kNoCrossing : kNoLine);
        end_report(rt_);
    }

    Calculation& calc_;

    Runtime& rt_;
    std::array<NamedPoint, 4> points_;
    std::string foot_name_;
    double azimuth_ = 0;  // from point 1 to point 2, degrees
    Dms azimuth_dms_;
    bool line_ = true;    // points 1 and 2 stand apart
    Point construction_;
    std::optional<Point> foot_;
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv)
{
    return marula::run_calculation_program("perpfoot", argc, argv,
                                           [](marula::Calculation& calc) { marula::PerpendicularFoot(calc).run(); });
}
