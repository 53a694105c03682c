// The report frame: one printed page per print key.
//
//     begin_report(rt, kLinktravReport);    // paper, title, by-line, date,
//                                           // empty lines, body font
//     rt.lprint(" heading ...");
//     rt.lprint_using("first part ...", {...}, false);   // ';' keeps the line
//     rt.lprint_using("second part ...", {...});
//     report_font(rt, 260, 180, 360);       // a summary in the large size
//     end_report(rt);                        // CHR$(12): the page goes out
//
// Each program has its layout below; a program Part's own details (its
// headings, lines and summaries) are written by the program.
#pragma once

#include <string_view>

#include "runtime/runtime.h"

namespace marula {

struct ReportLayout {
    int orientation = 0;  // 2 A4 landscape, 1 A4 portrait, 0 paper not set
    std::string_view title;    // printed in font 300, pitch 180, 240
    std::string_view by_line;  // "By MARULA" with its blanks, then DATE$
    int by_line_pitch[2] = {111, 222};
    int body_pitch[2] = {131, 320};
    int empty_before_title = 4;
    bool empty_after_title_font = false;  // form programs except isect4p
    int empty_after_title = 1;            // 1 for the traverses, 2 for the others
    bool empty_after_body_font = true;    // all but linktrav and looptrav
};

// The printer's font size and pitch pair (LPRINTSETFONT, LPRINTSETPITCH).
void report_font(Runtime& rt, int size, int char_pitch, int line_pitch);

// Paper, empty lines, title (font 300 ended with ';'), by-line (font 160)
// with the date on the same printed line, empty lines, body font 200 with
// the body pitch (and one more empty line where the layout says so).
void begin_report(Runtime& rt, const ReportLayout& layout);

// CHR$(12): the page is ejected and sent.
void end_report(Runtime& rt);

inline constexpr ReportLayout kLinktravReport{
    2, "                            多角測量座標計算書", "                                By MARULA ",
    {111, 360}, {111, 360}, 4, false, 1, false};
inline constexpr ReportLayout kLooptravReport{
    2, "                            多角測量座標計算書", "                                By MARULA ",
    {111, 360}, {111, 360}, 4, false, 1, false};
// A program whose by-line needs other blanks copies its layout and sets
// its own by_line.
inline constexpr ReportLayout kInvchainReport{
    2, "                                     逆 計 算（連続）", "                By MARULA    ",
    {111, 222}, {131, 320}, 4, false, 2, true};
inline constexpr ReportLayout kOpentravReport{
    0, "                      連続トラバ－ス", "            By MARULA    ",
    {111, 222}, {131, 240}, 4, false, 1, true};
inline constexpr ReportLayout kInvradialReport{
    2, "                                     逆 計 算（放射）", "                By MARULA    ",
    {111, 222}, {131, 320}, 4, false, 2, true};
inline constexpr ReportLayout kRadtravReport{
    0, "                   放射トラバ－ス", "          By MARULA   ",
    {111, 222}, {131, 240}, 4, false, 1, true};
inline constexpr ReportLayout kCoordareaReport{
    2, "                                     座 標 面 積 計 算", "  By MARULA   ",
    {115, 222}, {115, 320}, 4, false, 2, true};
inline constexpr ReportLayout kIsect2dReport{
    1, "                 交 点 計 算（２点２方向交点）", "  By MARULA   ",
    {111, 222}, {131, 320}, 5, true, 2, true};
inline constexpr ReportLayout kCornercutReport{
    1, "                      隅 切 計 算　　　", "  By MARULA   ",
    {111, 222}, {131, 320}, 5, true, 2, true};
inline constexpr ReportLayout kIsect1dReport{
    1, "                 交 点 計 算（３点１方向交点）", "  By MARULA   ",
    {111, 222}, {131, 320}, 5, true, 2, true};
inline constexpr ReportLayout kIsect4pReport{
    1, "                   交 点 計 算（４点交点）", "      By MARULA    ",
    {111, 222}, {131, 320}, 5, false, 2, true};
inline constexpr ReportLayout kPerpfootReport{
    1, "                 交 点 計 算（３点垂線交点）", "  By MARULA   ",
    {111, 222}, {131, 320}, 5, true, 2, true};

}  // namespace marula
