// Corner cut: the two points of a chord of given length across a parcel
// corner, the length cut from each boundary line, both azimuths and the
// area cut off.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "area/corner_cut.h"
#include "frame/correction.h"
#include "frame/bounded_entry.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "frame/plot.h"
#include "frame/point_form.h"
#include "frame/calculation.h"
#include "frame/report.h"
#include "frame/screen.h"
#include "base/format.h"

namespace marula {
namespace {

// The printed page: its paper, title, by-line and spacing.
constexpr ReportLayout kReport = form_report("                      隅 切 計 算　　　");

using namespace area;

constexpr int kFields = 10;
constexpr int kEnteredColor = 0;
constexpr int kResultColor = 1;
constexpr int kAzimuthColor = 4;

// A corrected coordinate carries a small offset (single-precision values,
// widened), as the form has always added to what is typed again.
constexpr double kCorrectedXNudge = kNudge15e8;
constexpr double kCorrectedYNudge = kNudge25e8;

// Where each point's three fields stand: the columns of the name, X and
// Y and their row.
constexpr std::array<PointPlace, 3> kPlaces{{{5, 13, 26, 6}, {46, 54, 67, 6}, {13, 21, 34, 9}}};
constexpr int kChordRow = 9;
constexpr int kChordColumn = 49;

// Shown where the results stand, and printed in their place, when there is
// no corner to cut.
std::string_view fault_message(CornerFault fault) {
    switch (fault) {
    case CornerFault::SameDirection: return "隅切できません：点１と点３が同じ方向";
    case CornerFault::Point1OnCorner: return "隅切できません：点１が隅点２と重なる";
    case CornerFault::Point3OnCorner: return "隅切できません：点３が隅点２と重なる";
    case CornerFault::None: break;
    }
    return {};
}

class CornerCutForm {
public:
    explicit CornerCutForm(Calculation& calc) : calc_(calc), rt_(calc.rt()) {}

    void run() {
        start_screen(rt_);
        draw_title(rt_, {" 隅 切 計 算 ", 62, 1, {497, 17, 598, 34}, {496, 17, 599, 35}});
        draw_sketch();
        print_at(rt_, 22, 1, "左の絵の順番に座標を３点入力して", kResultColor);
        print_at(rt_, 22, 2, "最後に隅切辺長Ｌを入力します。", kResultColor);
        print_at(rt_, 22, 3, "Ｐ点Ｑ点の座標と隅切せん除長が算出されます。", kResultColor);
        rt_.wait(10);
        draw_form();
        KeyActions keys;
        keys.correct = [this] { correct(); };
        keys.print = [this] { report(); };
        run_calculation(calc_, {.bar = KeyBar::Form,
                                .enter =
                                    [this] {
                                        enter();
                                        calculate_and_show("######.#######");
                                    },
                                .computed = [this] { return cut_points(); },
                                .keys = keys});
    }

private:
    // ---- screen -----------------------------------------------------------
    // The corner drawn small in the top left: the two boundary lines, the
    // chord L and, dotted, the corner it cuts off.
    void draw_sketch() {
        rt_.window(0, 0, 639, 399);
        rt_.view(0, 0, 639, 399);
        rt_.line(59, 9, 89, 9, 0);
        rt_.line(116, 36, 116, 68, 0);
        rt_.line(89, 9, 116, 36, 0);
        rt_.dashed_line(89, 9, 115, 9, 8);
        rt_.dashed_line(116, 9, 116, 36, 8);
        rt_.circle(89, 9, 1, 5, true);
        rt_.circle(116, 36, 1, 5, true);
        print_at(rt_, 5, 0, "3", 1);
        print_at(rt_, 15, 0, "2", 1);
        print_at(rt_, 15, 3, "1", 1);
        print_at(rt_, 12, 1, "L", 1);
        print_at(rt_, 15, 1, "P", 2);
        print_at(rt_, 10, 0, "Q", 2);
    }

    void draw_form() {
        print_at(rt_, 0, 4, "       1           2           3                4            5          6",
                 kNumberColor);
        print_at(rt_, 12, 7, "   7           8           9            10       ", kNumberColor);
        rt_.console(22, 1);
        print_at(rt_, 2, 5, "   点名１     　Ｘ１　      Ｙ１    ", kHeadingColor, kStylePlain);
        print_at(rt_, 43, 5, "   点名２  　 　Ｘ２　　　　Ｙ２    ", kHeadingColor, kStylePlain);
        print_at(rt_, 10, 8, "   点名３     　Ｘ３        Ｙ３    ", kHeadingColor, kStylePlain);
        print_at(rt_, 49, 8, " 隅切辺長 ", kHeadingColor, kStylePlain);
        heading_frame({16, 89, 303, 107}, {16, 89, 304, 108});
        heading_frame({344, 89, 631, 107}, {344, 89, 632, 108});
        heading_frame({80, 144, 367, 160}, {80, 144, 368, 161});
        heading_frame({391, 143, 471, 160}, {391, 143, 472, 161});
    }

    // A white outline inside a black one that carries a black shadow.
    void heading_frame(Rect inner, Rect outer) {
        rt_.box(inner.x1, inner.y1, inner.x2, inner.y2, 15);
        shadowed_box(rt_, outer, 0, 0);
    }

    // Field n (1-10) in its place.
    void show_field(int n, int color) {
        if (n == kFields) {
            echo_number(rt_, kChordColumn, kChordRow, "####.###", chord_, color);
            return;
        }
        const int k = (n - 1) / 3;
        const NamedPoint& p = points_[k];
        show_point_field(rt_, kPlaces[k], p.name, p.at.x, p.at.y, (n - 1) % 3, color);
    }

    // ---- input ------------------------------------------------------------
    // An empty answer to a name or to L keeps the preset.
    void enter() {
        for (int k = 0; k < 3; ++k) {
            const PointPrompts& prompts = kPointPrompts[k + 1];  // points are numbered from 1
            ask_text_keeping(rt_, 5, prompts.name, points_[k].name);
            show_field(3 * k + 1, kEnteredColor);
            // A point the job holds offers its stored X and Y.
            ask_known_coordinates(calc_, points_[k].name,
                                  {.x_prompt = std::string(prompts.x), .y_prompt = std::string(prompts.y)},
                                  {.x =
                                       [&](double x) {
                                           points_[k].at.x = x;
                                           show_field(3 * k + 2, kEnteredColor);
                                       },
                                   .y =
                                       [&](double y) {
                                           points_[k].at.y = y;
                                           show_field(3 * k + 3, kEnteredColor);
                                       }});
        }
        chord_ = ask_chord_entry(rt_, 5, "隅切辺長は", chord_);
        show_field(kFields, kEnteredColor);
    }

    // ---- calculation and results --------------------------------------------
    void calculate_and_show(std::string_view area_format) {
        cut_ = corner_cut(points_[0], points_[1], points_[2], chord_);
        const bool ok = cut_.fault == CornerFault::None;
        if (ok) {
            print_at(rt_, 37, 13,
                     format_using("Ｐ点Ｘ#######.###      Ｐ点Ｙ#######.###", {cut_.p_x, cut_.p_y}), kResultColor);
            print_at(rt_, 37, 14,
                     format_using("Ｑ点Ｘ#######.###      Ｑ点Ｙ#######.###", {cut_.q_x, cut_.q_y}), kResultColor);
        } else {
            print_at(rt_, 37, 13, fault_message(cut_.fault), kWarningColor);
        }
        if (cut_.fault != CornerFault::Point1OnCorner) print_at(rt_, 40, 16, azimuth_line(0), kAzimuthColor);
        if (cut_.fault != CornerFault::Point3OnCorner) print_at(rt_, 40, 17, azimuth_line(2), kAzimuthColor);
        if (ok) {
            print_at(rt_, 47, 19, format_using("隅切せん除長  ###.###", {cut_.cut_length}), kResultColor);
            print_at(rt_, 47, 20, format_using(std::string("隅 切 面 積") + std::string(area_format), {cut_.area}),
                     kResultColor);
        }
        plot();
    }

    // The cut points, named after the corner: K5-P and K5-Q. A corner
    // without a name gives names the job cannot hold.
    std::vector<NamedPoint> cut_points() const {
        if (cut_.fault != CornerFault::None) return {};
        const std::string corner = job::check_name(points_[1].name).name;
        auto cut_name = [&](std::string_view suffix) { return corner.empty() ? corner : corner + std::string(suffix); };
        return {{cut_name("-P"), {cut_.p_x, cut_.p_y}}, {cut_name("-Q"), {cut_.q_x, cut_.q_y}}};
    }

    // "2～1への方向角" (k = 0) or "2～3への方向角" (k = 2).
    std::string azimuth_line(int k, std::string_view lead = {}) const {
        const Dms& d = k == 0 ? cut_.dms21 : cut_.dms23;
        return format_using(std::string(lead) + "&    &～&    &への方向角 ###°##′##″",
                            {points_[1].name, points_[k].name, d.degrees, d.minutes, d.seconds});
    }

    void plot() {
        const NamedPoint& p1 = points_[0];
        const NamedPoint& p2 = points_[1];
        const NamedPoint& p3 = points_[2];
        std::vector<double> xs{p1.at.x, p2.at.x, p3.at.x};
        std::vector<double> ys{p1.at.y, p2.at.y, p3.at.y};
        const bool ok = cut_.fault == CornerFault::None;
        if (ok) {
            xs.insert(xs.end(), {cut_.p_x, cut_.q_x});
            ys.insert(ys.end(), {cut_.p_y, cut_.q_y});
        }
        const Plot plot = Plot::form(rt_, xs, ys);
        if (ok) {
            plot.circle(cut_.p_x, cut_.p_y, 2, 5);
            plot.circle(cut_.q_x, cut_.q_y, 2, 5);
            plot.line(cut_.p_x, cut_.p_y, p2.at.x, p2.at.y, 8, true);
            plot.line(cut_.q_x, cut_.q_y, p2.at.x, p2.at.y, 8, true);
            plot.line(p1.at.x, p1.at.y, cut_.p_x, cut_.p_y, 0);
            plot.line(p3.at.x, p3.at.y, cut_.q_x, cut_.q_y, 0);
            plot.line(cut_.p_x, cut_.p_y, cut_.q_x, cut_.q_y, 0);
        } else {
            // No cut: the two boundary lines as they were typed.
            plot.line(p1.at.x, p1.at.y, p2.at.x, p2.at.y, 0);
            plot.line(p2.at.x, p2.at.y, p3.at.x, p3.at.y, 0);
        }
        for (const NamedPoint& p : points_) plot.name(p.at.x, p.at.y, p.name);
        if (ok) {
            plot.name(cut_.p_x, cut_.p_y, "P", 2);
            plot.name(cut_.q_x, cut_.q_y, "Q", 2);
        }
        plot.direction_mark();
    }

    // ---- correction ---------------------------------------------------------
    void correct() {
        const int n = ask_field(rt_, kFields);
        show_field(n, kOldValueColor);
        if (n == kFields) {
            chord_ = ask_chord_entry(rt_, 5, "正しい隅切辺長は", chord_);
        } else {
            const int k = (n - 1) / 3;
            NamedPoint& p = points_[k];
            const PointPrompts& prompts = kThreePointCorrectionPrompts[k + 1];
            switch ((n - 1) % 3) {
            case 0: ask_text_keeping(rt_, 5, prompts.name, p.name); break;
            case 1: p.at.x = ask_coordinate_entry(rt_, 5, prompts.x, p.at.x) + kCorrectedXNudge; break;
            default: p.at.y = ask_coordinate_entry(rt_, 5, prompts.y, p.at.y) + kCorrectedYNudge; break;
            }
        }
        // Everything again from the stored values, without title and sketch.
        rt_.cls(0);
        draw_form();
        for (int f = 1; f <= kFields; ++f) show_field(f, kEnteredColor);
        calculate_and_show("######.######");
    }

    // ---- report -------------------------------------------------------------
    void report() {
        const NamedPoint& p1 = points_[0];
        const NamedPoint& p2 = points_[1];
        const NamedPoint& p3 = points_[2];
        begin_report(rt_, kReport);
        rt_.lprint("   　   　　点 名　   　Ｘ１　　   Ｙ１ 　     点 名       Ｘ２       Ｙ２　 ");
        rt_.lprint_using("    　   　 &    &  #######.### ######.###     &    &  #######.### ######.### ",
                         {p1.name, p1.at.x, p1.at.y, p2.name, p2.at.x, p2.at.y});
        rt_.lprint("");
        rt_.lprint("     　　 　点 名　   　Ｘ３　　   Ｙ３ 　                隅切辺長　 ");
        rt_.lprint_using("            &    &  #######.### ######.###                ###.###",
                         {p3.name, p3.at.x, p3.at.y, chord_});
        for (int i = 0; i < 3; ++i) rt_.lprint("");
        const bool ok = cut_.fault == CornerFault::None;
        if (ok) {
            rt_.lprint_using("                     Ｐ点Ｘ座標#######.###      Ｐ点Ｙ座標#######.###",
                             {cut_.p_x, cut_.p_y});
            rt_.lprint_using("                     Ｑ点Ｘ座標#######.###      Ｑ点Ｙ座標#######.###",
                             {cut_.q_x, cut_.q_y});
        } else {
            rt_.lprint(std::string("                     ") + std::string(fault_message(cut_.fault)));
        }
        rt_.lprint("");
        const std::string lead = "                             ";
        if (cut_.fault != CornerFault::Point1OnCorner) rt_.lprint(azimuth_line(0, lead));
        if (cut_.fault != CornerFault::Point3OnCorner) rt_.lprint(azimuth_line(2, lead));
        if (ok) {
            rt_.lprint("");
            rt_.lprint_using("                                隅切せん除長  ###.###", {cut_.cut_length});
            rt_.lprint_using("                                隅 切 面 積######.#######", {cut_.area});
        }
        end_report(rt_);
    }

    Calculation& calc_;

    Runtime& rt_;
    std::array<NamedPoint, 3> points_{{{"P1", {}}, {"P4", {}}, {"P7", {}}}};
    double chord_ = 5;
    CornerCut cut_;
};

}  // namespace
}  // namespace marula

int main(int argc, char** argv) {
    return marula::run_calculation_program("cornercut", argc, argv,
                                           [](marula::Calculation& calc) { marula::CornerCutForm(calc).run(); });
}
