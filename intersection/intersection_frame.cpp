#include "intersection/intersection_frame.h"

#include <array>
#include <cmath>

#include "frame/bounded_entry.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/calculation.h"

namespace marula::isect {

void heading_box(Runtime& rt, Rect inner, int inner_color, int outer_color, int shadow_color)
{
    rt.box(inner.x1, inner.y1, inner.x2, inner.y2, inner_color);
    shadowed_box(rt, {inner.x1, inner.y1, inner.x2 + 1, inner.y2 + 1}, outer_color, shadow_color, 3);
}

void correct_point_field(Runtime& rt, NamedPoint& p, int field, const PointPrompts& prompts, PointNudge nudge)
{
    switch (field) {
    case 0: ask_text_keeping(rt, 5, prompts.name, p.name); break;
    case 1: p.at.x = ask_coordinate_entry(rt, 5, prompts.x, p.at.x) + nudge.x; break;
    default: p.at.y = ask_coordinate_entry(rt, 5, prompts.y, p.at.y) + nudge.y; break;
    }
}

std::vector<NamedPoint> crossing_to_store(std::string_view name, const std::optional<Point>& crossing)
{
    if (!crossing) return {};
    return {NamedPoint{std::string(name), *crossing}};
}

bool enter_known_coordinates(Calculation& calc, NamedPoint& p, const PointPrompts& prompts, bool presets,
                             const std::function<void(int)>& show)
{
    KnownPointQuestions questions{.x_prompt = std::string(prompts.x), .y_prompt = std::string(prompts.y)};
    if (presets) {
        questions.x_preset = p.at.x;
        questions.y_preset = p.at.y;
    }
    return ask_known_coordinates(calc, p.name, questions,
                          {.x =
                               [&](double x) {
                                   p.at.x = x;
                                   show(1);
                               },
                           .y =
                               [&](double y) {
                                   p.at.y = y;
                                   show(2);
                               }})
        .from_preset;
}

bool same_place(Point a, Point b)
{
    return std::fabs(a.x - b.x) < 0.0005 && std::fabs(a.y - b.y) < 0.0005;
}

void convert(Direction& direction)
{
    const PackedAngle split = dms_to_degrees(direction.packed, kNudge1e7, kNudge1e8, AngleKind::azimuth);
    direction.packed = split.packed;
    direction.dms = split.typed;
    direction.degrees = split.degrees;
}

double ask_direction(Runtime& rt, std::string_view prompt, int color, std::optional<double> preset)
{
    return ask_packed_entry(rt, 5, prompt, color, kNudge1e7, preset);
}

void show_result(Runtime& rt, int row, std::string_view name, const std::optional<Point>& crossing,
                 std::span<const NamedPoint> known, std::string_view failure)
{
    rt.locate(40, row);
    if (!crossing) {
        rt.color(kResultColor, kStylePlain);
        rt.print_using("&    &", {std::string(name)});
        rt.color(kWarningColor, kStylePlain);
        rt.print(failure);
        rt.color(kPromptColor, kStyleNormal);
        return;
    }
    rt.color(kResultColor, kStylePlain);
    rt.print_using("&    &Ｘ=#######.###  Ｙ=######.###", {std::string(name), crossing->x, crossing->y});
    rt.color(kDistanceColor, kStylePlain);
    int line = row + 2;
    for (const NamedPoint& k : known) {
        rt.locate(45, line++);
        rt.print_using("&    &～ &    &   L=####.###", {std::string(name), k.name, distance(*crossing, k.at)});
    }
    rt.color(kPromptColor, kStyleNormal);
}

Plot start_plot(Runtime& rt, std::span<const Point, 4> extent)
{
    std::array<double, 4> xs{}, ys{};
    for (size_t i = 0; i < extent.size(); ++i) {
        xs[i] = extent[i].x;
        ys[i] = extent[i].y;
    }
    return Plot::form(rt, xs, ys);
}

int ask_correction(Runtime& rt, int fields, int hint_row)
{
    rt.locate(30, hint_row);
    rt.color(kNumberColor, kStyleNormal);
    rt.print("交点名訂正＝ " + std::to_string(fields));
    rt.color(kPromptColor, kStyleNormal);
    return ask_field(rt, fields);
}

void report_crossing(Runtime& rt, std::string_view crossing_format, std::string_view name,
                     const std::optional<Point>& crossing, std::span<const NamedPoint> known,
                     std::string_view failure)
{
    if (!crossing) {
        // The lead-in and the name field of the crossing line, then the
        // message where the coordinates would stand.
        std::string_view head = crossing_format;
        if (const size_t field = crossing_format.find("&    &"); field != std::string_view::npos)
            head = crossing_format.substr(0, field + 6);
        rt.lprint_using(std::string(head) + "  " + std::string(failure), {std::string(name)});
        return;
    }
    rt.lprint_using(crossing_format, {std::string(name), crossing->x, crossing->y});
    rt.lprint("");
    for (const NamedPoint& k : known)
        rt.lprint_using("                            &    &～ &    &   L=####.###",
                        {std::string(name), k.name, distance(*crossing, k.at)});
}

}  // namespace marula::isect
