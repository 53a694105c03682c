// Two points two directions: where the line through point 1 in direction 1
// crosses the line through point 2 in direction 2.
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
constexpr ReportLayout kReport = form_report("                 交 点 計 算（２点２方向交点）");

using namespace isect;

constexpr int kFields = 9;  // the last one corrects the crossing's name
constexpr int kResultRow = 12;
constexpr std::string_view kDirectionPrompt = "方向角は(20度25分12秒は20.2512と入力）";

// Laid on the known points once, before the first calculation only.
constexpr int kLine1 = 0, kLine2 = 1;
const std::array<PointNudge, 2> kFirstNudge{{{kNudge1e7, kNudge1e7}, {kNudge1e8, kNudge5e7}}};
// Laid on them as the form is drawn again after each correction.
const std::array<double, 2> kRedisplayNudge{kNudge1e8, kNudge2e8};
// Laid on a corrected value right after it is typed.
const std::array<PointNudge, 2> kCorrectionNudge{{{kNudge15e8, kNudge25e8}, {kNudge35e8, kNudge45e8}}};
const std::array<double, 2> kDirectionCorrectionNudge{kNudge1e8, kNudge2e7};

// One known point with its direction; the construction point lies on its
// line at twice the base distance.
struct Station {
    NamedPoint point;
    Direction direction;
    Point construction;
};

class TwoDirections {
public:
    explicit TwoDirections(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run()
    {
        start_screen(rt_, /*text_only=*/true);
        draw_title(rt_, {" ２点２方向交点計算 ", 50, 0, {401, 0, 558, 16}, {400, 0, 559, 17}});
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
                                        construct();
                                        for (int i : {kLine1, kLine2}) add_nudge(stations_[i].point.at, kFirstNudge[i]);
                                        calculate_and_show();
                                    },
                                .computed = [this] { return crossing_to_store(crossing_name_, crossing_); },
                                .keys = keys});
    }

private:
    // ---- screen ---------------------------------------------------------
    void draw_form(int frame)
    {
        print_at(rt_, 0, 2, "       1           2           3                 4        ", kNumberColor);
        print_at(rt_, 0, 6, "       5           6           7                 8        ", kNumberColor);
        rt_.console(22, 1);
        print_at(rt_, 2, 3, "   点名１     　Ｘ１　      Ｙ１    ", kHeadingColor, kStylePlain);
        print_at(rt_, 43, 3, "  方 向 角 １  ", kHeadingColor, kStylePlain);
        print_at(rt_, 2, 7, "   点名２     　Ｘ２        Ｙ２    ", kHeadingColor, kStylePlain);
        print_at(rt_, 43, 7, "  方 向 角 ２  ", kHeadingColor, kStylePlain);
        for (Rect r : {Rect{16, 54, 302, 71}, Rect{16, 126, 302, 143}, Rect{343, 54, 462, 71},
                       Rect{343, 126, 462, 143}})
            heading_box(rt_, r, 15, frame, frame);
        rt_.color(kPromptColor, kStyleNormal);
    }

    // Field n (1-8) in its cell: point 1 on row 4, point 2 on row 8; field
    // 9 is the name in the result line.
    void show_field(int n, int color)
    {
        if (n == kFields) {
            echo_name(rt_, 40, kResultRow, crossing_name_, color);
            return;
        }
        const Station& s = stations_[(n - 1) / 4];
        const int row = n <= 4 ? 4 : 8;
        const int field = (n - 1) % 4;
        if (field < 3) {
            show_known_field(rt_, {5, 13, 27, row}, s.point, field, color);
            return;
        }
        const Dms& d = s.direction.dms;
        echo_dms(rt_, 45, row, int(d.degrees), int(d.minutes), int(d.seconds), color);
    }

    // ---- input ----------------------------------------------------------
    void enter()
    {
        for (int i : {kLine1, kLine2}) {
            Station& s = stations_[i];
            const PointPrompts& prompts = kPointPrompts[i + 1];
            const int first = 4 * i + 1;
            s.point.name = ask_text(rt_, 5, prompts.name);
            show_field(first, kPromptColor);
            enter_known_coordinates(calc_, s.point, prompts, false,
                                    [&](int field) { show_field(first + field, kPromptColor); });
            s.direction.packed = ask_direction(rt_, kDirectionPrompt, kPromptColor, std::nullopt);
            convert(s.direction);
            show_field(first + 3, kPromptColor);
        }
        crossing_name_ = ask_text(rt_, 5, "交点名は ");
        clear_prompt_row(rt_);
    }

    // ---- calculation and result -------------------------------------------
    // The construction points at twice the base distance along each
    // direction, from the stored coordinates as they stand.
    void construct()
    {
        const double base = distance(stations_[0].point.at, stations_[1].point.at);
        for (Station& s : stations_) s.construction = point_along(s.point.at, s.direction.degrees, 2 * base);
    }

    void calculate_and_show()
    {
        const Station& one = stations_[kLine1];
        const Station& two = stations_[kLine2];
        crossing_ = cross_lines(one.point.at, one.construction, two.point.at, two.construction, XNudge::Add);
        show_result(rt_, kResultRow, crossing_name_, crossing_, known());

        const std::array<Point, 4> extent{one.point.at, one.construction, two.point.at, two.construction};
        const Plot plot = start_plot(rt_, extent);
        for (const Station& s : stations_) plot.circle(s.point.at.x, s.point.at.y, 2, 5);
        plot.line(one.point.at.x, one.point.at.y, one.construction.x, one.construction.y, 3);
        plot.line(two.point.at.x, two.point.at.y, two.construction.x, two.construction.y, 6);
        for (const Station& s : stations_) plot.name(s.point.at.x, s.point.at.y, s.point.name);
        plot.direction_mark();
    }

    std::array<NamedPoint, 2> known() const { return {stations_[0].point, stations_[1].point}; }

    // ---- correction -------------------------------------------------------
    void correct()
    {
        const int n = ask_correction(rt_, kFields, 11);
        show_field(n, kOldValueColor);
        if (n == kFields) {
            ask_text_keeping(rt_, 5, "正しい交点名は", crossing_name_);
        } else {
            const int i = (n - 1) / 4;
            Station& s = stations_[i];
            // An empty answer keeps the value under correction.
            switch ((n - 1) % 4) {
            case 0: ask_text_keeping(rt_, 5, i == kLine1 ? "正しい点名は" : "正しい点名２は", s.point.name); break;
            case 1:
                s.point.at.x =
                    ask_coordinate_entry(rt_, 5, i == kLine1 ? "正しいＸ１座標は" : "正しいＸ２座標は", s.point.at.x);
                s.point.at.x += kCorrectionNudge[i].x;
                break;
            case 2:
                s.point.at.y =
                    ask_coordinate_entry(rt_, 5, i == kLine1 ? "正しいＹ１座標は" : "正しいＹ２座標は", s.point.at.y);
                s.point.at.y += kCorrectionNudge[i].y;
                break;
            default:
                // The direction under correction keeps its colour into the question.
                s.direction.packed = ask_direction(rt_, "正しい方向角は", kOldValueColor, s.direction.packed);
                s.direction.packed += kDirectionCorrectionNudge[i];
                break;
            }
        }
        redisplay();
    }

    // The form again from the stored values; each coordinate takes a small
    // addition as it is shown and each direction is read once more. The
    // first calculation's nudge is not laid on again.
    void redisplay()
    {
        rt_.cls(0);
        draw_form(14);
        for (int i : {kLine1, kLine2}) {
            Station& s = stations_[i];
            const int first = 4 * i + 1;
            show_field(first, kPromptColor);
            show_field(first + 1, kPromptColor);
            s.point.at.x += kRedisplayNudge[i];
            show_field(first + 2, kPromptColor);
            s.point.at.y += kRedisplayNudge[i];
        }
        for (int i : {kLine1, kLine2}) {
            convert(stations_[i].direction);
            show_field(4 * i + 4, kPromptColor);
        }
        construct();
        calculate_and_show();
    }

    // ---- report -----------------------------------------------------------
    void report()
    {
        begin_report(rt_, kReport);
        for (int i : {kLine1, kLine2}) {
            const Station& s = stations_[i];
            if (i == kLine2) rt_.lprint("");
            rt_.lprint(i == kLine1 ? "      　　　　　　 　　点 名　   　Ｘ１　　   Ｙ１ 　     方　向　角　 "
                                   : "      　　　　　　 　　点 名　   　Ｘ２　　   Ｙ２ 　     方　向　角　 ");
            rt_.lprint_using("          　　　　　　 &    &  #######.### ######.###     ###°##′##″",
                             {s.point.name, s.point.at.x, s.point.at.y, s.direction.dms.degrees,
                              s.direction.dms.minutes, s.direction.dms.seconds});
        }
        for (int i = 0; i < 3; ++i) rt_.lprint("");
        const std::array<NamedPoint, 2> points = known();
        report_crossing(rt_, "             　 交 点 &    &  X=#######.###   Y=######.###", crossing_name_, crossing_,
                        points);
        end_report(rt_);
    }

    Calculation& calc_;

    Runtime& rt_;
    std::array<Station, 2> stations_;
    std::string crossing_name_;
    std::optional<Point> crossing_;
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv)
{
    return marula::run_calculation_program("isect2d", argc, argv,
                                           [](marula::Calculation& calc) { marula::TwoDirections(calc).run(); });
}
