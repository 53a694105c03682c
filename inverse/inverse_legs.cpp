#include "inverse_legs.h"

#include <vector>

#include "frame/bounded_entry.h"
#include "frame/calculation.h"
#include "frame/entry.h"
#include "frame/plot.h"
#include "frame/screen.h"
#include "base/format.h"
#include "survey/tolerance.h"

namespace marula::inverse {

Leg compute_leg(const NamedPoint& from, const NamedPoint& to) {
    Leg leg;
    set_leg_delta_x(leg, from.at.x, to.at.x);
    set_leg_delta_y(leg, from.at.y, to.at.y);
    finish_leg(leg);
    return leg;
}

// The difference first, then the offset, exactly as azimuth_from_deltas
// forms its nudged differences.
void set_leg_delta_x(Leg& leg, double x_from, double x_to) {
    leg.delta_x = (x_to - x_from) + kInverseNudges.delta_x;
}

void set_leg_delta_y(Leg& leg, double y_from, double y_to) {
    leg.delta_y = (y_to - y_from) + kInverseNudges.delta_y;
}

void finish_leg(Leg& leg) {
    leg.distance = leg_distance(leg.delta_x, leg.delta_y);
    leg.azimuth = azimuth_from_nudged_deltas(leg.delta_x, leg.delta_y, kInverseNudges);
    leg.dms = degrees_to_dms_b(leg.azimuth);
}

// ---- table ------------------------------------------------------------------

void show_row_number(Runtime& rt, int table_row) {
    echo_number(rt, 0, text_row(table_row), "##", table_row, kRowNumberColor);
}

void show_from_name(Runtime& rt, int table_row, std::string_view name, int color) {
    echo_name(rt, 3, text_row(table_row), name, color);
}
void show_from_x(Runtime& rt, int table_row, double x, int color) {
    echo_number(rt, 9, text_row(table_row), "#######.###", x, color);
}
void show_from_y(Runtime& rt, int table_row, double y, int color) {
    echo_number(rt, 21, text_row(table_row), "######.###", y, color);
}
void show_to_name(Runtime& rt, int table_row, std::string_view name, int color) {
    echo_name(rt, 32, text_row(table_row), name, color);
}
void show_to_x(Runtime& rt, int table_row, double x, int color) {
    echo_number(rt, 39, text_row(table_row), "#######.###", x, color);
}
void show_to_y(Runtime& rt, int table_row, double y, int color) {
    echo_number(rt, 51, text_row(table_row), "######.###", y, color);
}

void show_from_point(Runtime& rt, int table_row, const NamedPoint& p, int color) {
    show_from_name(rt, table_row, p.name, color);
    show_from_x(rt, table_row, p.at.x, color);
    show_from_y(rt, table_row, p.at.y, color);
}

void show_to_point(Runtime& rt, int table_row, const NamedPoint& p, int color) {
    show_to_name(rt, table_row, p.name, color);
    show_to_x(rt, table_row, p.at.x, color);
    show_to_y(rt, table_row, p.at.y, color);
}

void show_leg(Runtime& rt, int table_row, const Leg& leg, int color, int style, std::optional<double> distance) {
    const int row = text_row(table_row);
    echo_dms(rt, 62, row, int(leg.dms.degrees), int(leg.dms.minutes), int(leg.dms.seconds), color, style, "###");
    echo_number(rt, 72, row, "####.###", distance.value_or(leg.distance), color, style);
}

// ---- the job's settings -------------------------------------------------------

double ShownDistances::of(const Leg& leg, double y1, double y2) const {
    return ground_ ? ground_distance(leg.distance, calc_.settings().reduction, y1, y2) : leg.distance;
}

std::string ShownDistances::heading(const std::string& redisplay_heading) const {
    if (!ground_) return redisplay_heading;
    // "方向角    距 離 " and "方向角  地上距離" take the same columns.
    std::string text = redisplay_heading;
    if (const auto at = text.rfind("  距 離 "); at != std::string::npos) text.replace(at, std::string("  距 離 ").size(), "地上距離");
    return text;
}

namespace {

bool shows_tolerance(const CalculationSettings& settings, bool tolerance) {
    return tolerance && is_cadastral(settings.tolerance);
}

}  // namespace

std::string report_heading_extras(const CalculationSettings& settings, bool tolerance) {
    std::string extras;
    if (settings.reducing()) extras += "　 地上距離";
    if (shows_tolerance(settings, tolerance)) extras += "　許容誤差";
    return extras;
}

std::string report_leg_extras(const CalculationSettings& settings, bool tolerance, const Leg& leg, double y1,
                              double y2) {
    std::string extras;
    if (settings.reducing())
        extras += format_using("  ####.###", {ground_distance(leg.distance, settings.reduction, y1, y2)});
    if (shows_tolerance(settings, tolerance))
        extras += format_using("  ###.###", {distance_tolerance_m(settings.tolerance, leg.distance).value_or(0)});
    return extras;
}

void report_settings_lines(Runtime& rt, const CalculationSettings& settings, bool tolerance) {
    if (!settings.reducing() && !shows_tolerance(settings, tolerance)) return;
    rt.lprint("");
    if (settings.reducing()) rt.lprint("        " + reduction_settings_line(settings));
    if (shows_tolerance(settings, tolerance))
        rt.lprint("        精度区分：" + std::string(tolerance_class_label(settings.tolerance)) +
                  "（許容誤差は筆界点間距離の公差）");
}

// ---- entry ------------------------------------------------------------------

void show_first_row_number(Runtime& rt) { print_at(rt, 0, kFirstTableRow, " 1", kRowNumberColor); }

NamedPoint ask_first_station(Calculation& calc, std::string_view what, int color) {
    Runtime& rt = calc.rt();
    const std::string lead(what);
    const KnownPoint known =
        ask_known_point(calc,
                        {.name_prompt = lead + "名は",
                         .x_prompt = lead + "Ｘ座標は ",
                         .y_prompt = lead + "Ｙ座標は ",
                         .in_sequence = true},
                        {.name = [&](const std::string& name) { show_from_name(rt, 1, name, color); },
                         .x = [&](double x) { show_from_x(rt, 1, x, color); },
                         .y = [&](double y) { show_from_y(rt, 1, y, color); }});
    return known;
}

void ask_to_coordinates(Calculation& calc, int table_row, NamedPoint& p, int color) {
    Runtime& rt = calc.rt();
    p.at = ask_known_coordinates(calc, p.name, {.x_prompt = "Ｘ座標は ", .y_prompt = "Ｙ座標は "},
                                 {.x = [&](double x) { show_to_x(rt, table_row, x, color); },
                                  .y = [&](double y) { show_to_y(rt, table_row, y, color); }})
               .at;
}

void plot_points(Runtime& rt, std::span<const NamedPoint> points, bool radial) {
    std::vector<double> xs, ys;
    for (const NamedPoint& p : points) {
        xs.push_back(p.at.x);
        ys.push_back(p.at.y);
    }
    // The window's centre, half-width, ends and marker unit are singles.
    const Plot plot = Plot::table(rt, xs, ys, PlotPrecision::Single);
    for (std::size_t k = 0; k < points.size(); ++k) {
        if (k == 0) {
            plot.circle(points[k].at.x, points[k].at.y, 2, 5, true);
        } else {
            plot.circle(points[k].at.x, points[k].at.y, 1, 0);
            const NamedPoint& from = radial ? points[0] : points[k - 1];
            plot.line(from.at.x, from.at.y, points[k].at.x, points[k].at.y, 0);
        }
    }
    for (const NamedPoint& p : points) plot.name(p.at.x, p.at.y, p.name);
    plot.direction_mark();
}

void report_lone_point(Runtime& rt, const NamedPoint& p) {
    rt.lprint_using("        &    &  #######.### ######.###", {p.name, p.at.x, p.at.y});
}

}  // namespace marula::inverse
