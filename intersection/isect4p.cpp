// Four-point intersection: where the line through points 1 and 2 crosses
// the line through points 3 and 4.
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

// The printed page: the form's, with its own by-line and no empty line in
// the title's font.
constexpr ReportLayout kReport = [] {
    ReportLayout layout = form_report("                   交 点 計 算（４点交点）");
    layout.by_line = "      By MARULA    ";
    layout.empty_after_title_font = false;
    return layout;
}();

using namespace isect;

constexpr int kFields = 13;  // the last one corrects the crossing's name
constexpr int kResultRow = 12;

// Laid on the stored points before every calculation, so they pile up over
// corrections. Point 4 carries none.
const std::array<PointNudge, 5> kNudges{{{}, {kNudge1e7, kNudge1e7}, {kNudge1e8, kNudge11e8}, {kNudge5e8, kNudge7e8}, {}}};

// Correction prompts 1-12, point by point, as the form has always worded them.
const std::array<PointPrompts, 5> kCorrectionPrompts{{
    {},
    {"正しい点名は", "正しいＸ１座標は", "正しいＹ１座標は"},
    {"正しい点名2は", "正しいX２座標は", "正しいＹ2座標は"},
    {"正しい点名3は", "正しいＸ３座標は", "正しいＹ３座標は"},
    {"正しい点名4は", "正しいX４座標は", "正しいＹ４座標は"},
}};

class FourPoint {
public:
    explicit FourPoint(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run()
    {
        start_screen(rt_, /*text_only=*/true);
        draw_title();
        rt_.beep();
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
    void draw_title()
    {
        print_at(rt_, 60, 0, " ４点交点計算　", kTitleColor, kStylePlain);
        rt_.box(480, 0, 598, 17, 14);
        for (int i = 0; i < 3; ++i) {
            rt_.line(480 + i, 16 + i, 599 + i, 16 + i, 14);
            rt_.line(599 + i, i, 599 + i, 16 + i, 14);
        }
    }

    // Field numbers, headings and their frames; `frame` is 0 at the start
    // and 14 on a redisplay.
    void draw_form(int frame)
    {
        print_at(rt_, 0, 2, "       1           2          3                  4          5          6",
                 kNumberColor);
        print_at(rt_, 0, 6, "       7           8          9                 10         11         12",
                 kNumberColor);
        rt_.console(6, 17);
        print_at(rt_, 2, 3, "   点名１    　Ｘ１　     Ｙ１    ", kHeadingColor, kStylePlain);
        print_at(rt_, 43, 3, "   点名２　 　 Ｘ２　   　Ｙ２   ", kHeadingColor, kStylePlain);
        print_at(rt_, 2, 7, "   点名３    　Ｘ３　     Ｙ３    ", kHeadingColor, kStylePlain);
        print_at(rt_, 43, 7, "   点名４　 　 Ｘ４　   　Ｙ４   ", kHeadingColor, kStylePlain);
        for (Rect r : {Rect{16, 54, 288, 71}, Rect{16, 126, 288, 143}, Rect{343, 54, 606, 71},
                       Rect{343, 126, 606, 143}})
            heading_box(rt_, r, 14, frame, frame);
        rt_.color(kPromptColor, kStyleNormal);
    }

    // Field n (1-12) in its cell; point k sits on row 4 or 8, odd points on
    // the left, even ones on the right. Field 13 is the name in the result
    // line.
    void show_field(int n, int color)
    {
        if (n == kFields) {
            echo_name(rt_, 40, kResultRow, crossing_name_, color);
            return;
        }
        const int k = (n - 1) / 3 + 1;
        const int row = k <= 2 ? 4 : 8;
        const int left = k % 2 == 1 ? 0 : 40;
        show_known_field(rt_, {left + 5, left + 13, left + 25, row}, points_[k], (n - 1) % 3, color);
    }

    // ---- input ----------------------------------------------------------
    // An empty answer keeps the value already there (the presets at first).
    void enter()
    {
        for (int k = 1; k <= 4; ++k) {
            ask_text_keeping(rt_, 5, kPointPrompts[k].name, points_[k].name);
            show_field(3 * k - 2, kPromptColor);
            for (;;) {
                enter_coordinates(k);
                // The second point of a line must stand apart from the first.
                if (k % 2 == 1 || !same_place(points_[k - 1].at, points_[k].at)) break;
                rt_.notice(kSamePlace);
            }
        }
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
        for (int k = 1; k <= 4; ++k) add_nudge(points_[k].at, kNudges[k]);
        const Point& a = points_[1].at;
        const Point& b = points_[2].at;
        const Point& c = points_[3].at;
        const Point& d = points_[4].at;
        failure_ = same_place(a, b) || same_place(c, d) ? kNoLine : kNoCrossing;
        crossing_ = failure_ == kNoLine ? std::nullopt : cross_lines(a, b, c, d, XNudge::None);
        show_result(rt_, kResultRow, crossing_name_, crossing_, known(), failure_);

        const std::array<Point, 4> extent{a, b, c, d};
        const Plot plot = start_plot(rt_, extent);
        for (int k = 1; k <= 4; ++k) plot.circle(points_[k].at.x, points_[k].at.y, 1, 0);
        plot.line(a.x, a.y, b.x, b.y, 3);
        plot.line(c.x, c.y, d.x, d.y, 6);
        for (int k = 1; k <= 4; ++k) plot.name(points_[k].at.x, points_[k].at.y, points_[k].name);
        plot.direction_mark();
    }

    std::span<const NamedPoint> known() const { return std::span(points_).subspan(1, 4); }

    // ---- correction -------------------------------------------------------
    void correct()
    {
        const int n = ask_correction(rt_, kFields, 11);
        show_field(n, kOldValueColor);
        if (n == kFields) {
            ask_text_keeping(rt_, 5, "正しい交点名は", crossing_name_);
        } else {
            const int k = (n - 1) / 3 + 1;
            NamedPoint& p = points_[k];
            switch ((n - 1) % 3) {
            case 0: ask_text_keeping(rt_, 5, kCorrectionPrompts[k].name, p.name); break;
            case 1: p.at.x = ask_coordinate_entry(rt_, 5, kCorrectionPrompts[k].x, p.at.x); break;
            default: p.at.y = ask_coordinate_entry(rt_, 5, kCorrectionPrompts[k].y, p.at.y); break;
            }
        }
        redisplay();
    }

    // Everything from the stored values again (the title stays off), then
    // a fresh calculation, which lays the nudge on once more.
    void redisplay()
    {
        rt_.cls(0);
        draw_form(14);
        for (int n = 1; n < kFields; ++n) show_field(n, kPromptColor);
        calculate_and_show();
    }

    // ---- report -----------------------------------------------------------
    void report()
    {
        begin_report(rt_, kReport);
        const auto pair = [this](int first) {
            const NamedPoint& p = points_[first];
            const NamedPoint& q = points_[first + 1];
            rt_.lprint_using("           &    &  #######.### ######.###     &    &  #######.### ######.###",
                             {p.name, p.at.x, p.at.y, q.name, q.at.x, q.at.y});
        };
        rt_.lprint("       　　点 名　   　Ｘ１　　   Ｙ１ 　     点 名　 　  Ｘ２　　   Ｙ２　 ");
        pair(1);
        rt_.lprint("");
        rt_.lprint("       　　点 名　   　Ｘ３　　   Ｙ３ 　   　点 名　     Ｘ４　　   Ｙ４　 ");
        pair(3);
        rt_.lprint("");
        rt_.lprint("");
        report_crossing(rt_, "              　　 交 点 &    &  X=#######.###  Y=######.###", crossing_name_,
                        crossing_, known(), failure_);
        end_report(rt_);
    }

    Calculation& calc_;

    Runtime& rt_;
    std::array<NamedPoint, 5> points_{{
        {},
        {"E9.1AB", {-146774.089, -3353.248}},
        {"E10.1C", {-146735.997, -3274.645}},
        {"K.29", {-146747.806, -3316.290}},
        {"K.28", {-146766.950, -3321.721}},
    }};
    std::string crossing_name_ = "K.91";
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
    return marula::run_calculation_program("isect4p", argc, argv,
                                           [](marula::Calculation& calc) { marula::FourPoint(calc).run(); });
}
