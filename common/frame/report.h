// The report frame: one printed page per print key.
//
//     constexpr ReportLayout kReport{
//         .paper = Paper::a4_landscape,
//         .title = "          多角測量座標計算書",
//         .by_line = "          By MARULA ",
//     };
//     begin_report(rt, kReport);               // paper, title, by-line, date,
//                                              // empty lines, body font
//     rt.lprint(" heading ...");
//     rt.lprint_using("first half ...", {...}, false);   // ';' keeps the line
//     rt.lprint_using("second half ...", {...});
//     report_font(rt, 260, 180, 360);          // a summary in the large size
//     end_report(rt);                           // CHR$(12): the page goes out
//
// Each program owns its layout; its headings, lines and summaries are its
// own too.
#pragma once

#include <string_view>

#include "runtime/runtime.h"

namespace marula {

// The paper a page is set to before it is printed; as_set leaves the
// printer as it stands.
enum class Paper { as_set = 0, a4_portrait = 1, a4_landscape = 2 };

// A printer pitch pair (LPRINTSETPITCH): between characters, between lines.
struct Pitch {
    int character;
    int line;
};

struct ReportLayout {
    Paper paper = Paper::as_set;
    std::string_view title;    // printed in font 300, pitch 180, 240
    std::string_view by_line;  // "By MARULA" with its blanks, then DATE$
    Pitch by_line_pitch{111, 222};
    Pitch body_pitch{131, 320};
    int empty_before_title = 4;
    bool empty_after_title_font = false;  // one empty line before the title, in its font
    int empty_after_title = 1;
    bool empty_after_body_font = true;    // one empty line before the body, in its font
};

// The page of a program that lists its points in a table: A4 landscape,
// two empty lines under the title.
constexpr ReportLayout table_report(std::string_view title, std::string_view by_line) {
    return {.paper = Paper::a4_landscape, .title = title, .by_line = by_line, .empty_after_title = 2};
}

// The page of a program that fills in a form: A4 portrait, the title one
// line lower and an empty line before it in its font, two under it.
constexpr ReportLayout form_report(std::string_view title) {
    return {.paper = Paper::a4_portrait,
            .title = title,
            .by_line = "  By MARULA   ",
            .empty_before_title = 5,
            .empty_after_title_font = true,
            .empty_after_title = 2};
}

// The printer's font size and pitch pair (LPRINTSETFONT, LPRINTSETPITCH).
void report_font(Runtime& rt, int size, int char_pitch, int line_pitch);

// Paper, empty lines, title (font 300 ended with ';'), by-line (font 160)
// with the date on the same printed line, empty lines, body font 200 with
// the body pitch (and one more empty line where the layout says so).
void begin_report(Runtime& rt, const ReportLayout& layout);

// CHR$(12): the page is ejected and sent.
void end_report(Runtime& rt);

}  // namespace marula
