#include "adjusted_sheet.h"

#include "frame/bounded_entry.h"
#include "frame/calculation.h"
#include "frame/report.h"
#include "survey/survey.h"

namespace marula {

const Heading kAdjustedHeading{
    "       1      2        3         4          5            6            7  ", 0, 1,
    " NO  測角点　方向点  狭 角　　  距 離　  　方向角　 　  Ｘ座標　 　　Ｙ座標    ", 0, 2, {0, 36, 632, 53}};

void SheetCells::row_number(int row) const {
    echo_number(rt_, kSheetNumberCol, text_row(row), "##", row, kRowNumberColor, kStyleNormal);
}

void SheetCells::name(int row, int column, const std::string& name, int color) const {
    echo_name(rt_, column, text_row(row), name, color);
}

void SheetCells::angle(int row, const AngleEntry& angle, int color) const {
    echo_dms(rt_, kSheetAngleCol, text_row(row), angle, color);
}

void SheetCells::typed_azimuth(int row, const AngleEntry& azimuth, int color, int style) const {
    echo_dms(rt_, kSheetAzimuthCol, text_row(row), azimuth, color, style);
}

void SheetCells::azimuth(int row, double degrees, int color, int style) const {
    Dms dms = degrees_to_dms_a(degrees);
    echo_dms(rt_, kSheetAzimuthCol, text_row(row), int(dms.degrees), int(dms.minutes), int(dms.seconds), color,
             style);
}

void SheetCells::distance(int row, double metres, int color, int style) const {
    echo_number(rt_, kSheetDistanceCol, text_row(row), kSheetDistance, metres, color, style);
}

void SheetCells::coordinate(int row, int column, double value, int color, int style) const {
    echo_number(rt_, column, text_row(row), kSheetCoordinate, value, color, style);
}

std::string precision_text(const AdjustmentSummary& s) {
    if (s.linear == 0) return "     ∞";  // seven columns, as the field
    return format_using("#######", {s.precision});
}

NamedPoint ask_known_station(Calculation& calc, const SheetCells& sheet) {
    const KnownPoint known = ask_known_point(
        calc, {.name_prompt = "既知点名は", .x_prompt = "既知点Ｘ座標は ", .y_prompt = "既知点Ｙ座標は "},
        {.name =
             [&](const std::string& name) {
                 sheet.row_number(1);
                 sheet.name(0, kSheetFromCol, name, kEntered);
             },
         .x = [&](double x) { sheet.coordinate(0, kSheetXCol, x, kGiven, kStylePlain); },
         .y = [&](double y) { sheet.coordinate(0, kSheetYCol, y, kGiven, kStylePlain); }});
    return known;
}

void show_adjustment_summary(Runtime& rt, const AdjustmentSummary& s, int style) {
    std::string line = "  精度１：" + precision_text(s);
    // + 0.0: a misclosure of nothing shows 0, never -0.
    line += format_using("  距離計####.###  角誤差####秒 Ｘ誤差##.###  Ｙ誤差##.###  ",
                         {double(s.total), -s.misclosure_seconds + 0.0, double(s.fx_mm) / 1000,
                          double(s.fy_mm) / 1000});
    print_at(rt, 2, 21, line, kTitleColor, style);
    rt.window(0, 0, 639, 431);
    rt.view(0, 0, 639, 431);
    shadowed_box(rt, {16, 377, 624, 394}, 14, 14);
}

void report_adjusted_heading(Runtime& rt) {
    rt.lprint(
        "      測角点　方向点　  夾　角   補正   方向角 　　水平距離 　ＣＯＳ　   ＳＩＮ 　 △Ｘ   　△Ｙ　  "
        "εＸεＹ　　    Ｘ　　     　Ｙ     座標名");
    std::string rule = "   ";
    for (int i = 0; i < 70; ++i) rule += "－";
    rt.lprint(rule);
}

void report_adjusted_start(Runtime& rt, const std::string& station, const std::string& backsight,
                           const AngleEntry& start, double x, double y) {
    rt.lprint_using("      &    &  &    &  　               ### ## ##                     ",
                    {station, backsight, double(start.d), double(start.m), double(start.s)}, false);
    rt.lprint_using("                                        ########.### ########.###  &    &", {x, y, station});
}

void report_adjusted_leg(Runtime& rt, const ReportedLeg& row) {
    Dms az = degrees_to_dms_a(row.azimuth);
    const AdjustedLeg& leg = row.leg;
    rt.lprint_using("      &    &  &    &  ### ## ##  ###   ### ## ##  ####.###  ##.######",
                    {row.from, row.to, double(row.angle.d), double(row.angle.m), double(row.angle.s),
                     row.correction_seconds, az.degrees, az.minutes, az.seconds, row.distance, leg.cos},
                    false);
    rt.lprint_using("  ##.###### #####.### #####.### ### ### ########.### ########.###  &    &",
                    {leg.sin, leg.dx, leg.dy, leg.x_correction, leg.y_correction, row.x, row.y, row.to});
}

void report_adjusted_precision(Runtime& rt, const AdjustmentSummary& s) {
    rt.lprint("");
    rt.lprint("");
    report_font(rt, 260, 180, 360);
    rt.lprint("　　　                実測精度１：" + precision_text(s), false);
    report_font(rt, 200, 111, 360);
    rt.lprint_using(" （ 水平距離の和　#####.###  座標の閉合差　###.###）", {double(s.total), s.linear});
}

std::optional<ClosureVerdict> closure_verdict(const CalculationSettings& settings, TraverseShape shape, int legs,
                                              const AdjustmentSummary& summary) {
    return judge_closure(settings.tolerance, shape, legs, double(summary.total) / 1000, summary.linear);
}

void say_verdict(Runtime& rt, const std::optional<ClosureVerdict>& verdict) {
    // It stands until the next key (which also acts), so a glance away from
    // the screen does not miss it.
    if (verdict) rt.say_until_key(verdict_line(*verdict));
}

void report_verdict(Runtime& rt, const std::optional<ClosureVerdict>& verdict) {
    if (verdict) rt.lprint("                                    " + verdict_line(*verdict));
}

}  // namespace marula
