// The calculation screen every program draws: start-up, the title in its
// framed, shadowed boxes, the column numbers and headings in their frame,
// the limit message, the wrong-entry notice and the farewell.
//
// A table program opens like this:
//
//     start_screen(rt);
//     draw_title(rt, {" 結合ﾄﾗﾊﾞ-ｽ （測点は16点迄です。）", 40, 0,
//                     {321, 0, 590, 16}, {320, 0, 591, 17}});
//     draw_heading(rt, kHeading, /*box_color=*/0);
//     rt.console(3, 20);
//
// and every drawing helper leaves the text colour at 0, style 4, the
// ordinary colour of prompts and entries.
#pragma once

#include <string>
#include <string_view>

#include "runtime/runtime.h"

namespace marula {

// A pixel rectangle, corners included.
struct Rect {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Text styles of the text plane (COLOR f,,,style).
inline constexpr int kStylePlain = 0;    // given values and headings
inline constexpr int kStyleHidden = 1;   // a value erased by printing it again in colour 15
inline constexpr int kStyleNormal = 4;   // prompts, entries, row numbers, computed values
inline constexpr int kStyleMessage = 5;  // summary lines and the limit message

// Colours with a meaning shared by all programs.
inline constexpr int kTitleColor = 8;
inline constexpr int kNumberColor = 3;    // column numbers
inline constexpr int kHeadingColor = 13;
inline constexpr int kRowNumberColor = 1;
inline constexpr int kPromptColor = 0;
inline constexpr int kOldValueColor = 2;  // the value under correction
inline constexpr int kHiddenColor = 15;   // the background: printing in it erases
inline constexpr int kWarningColor = 10;
inline constexpr int kFarewellColor = 12;


// Start-up of every calculation program: COLOR 0 on white, the whole
// screen as console, the printer set up for reports, and a clear screen
// (CLS 0; `text_only` gives CLS 4 and keeps the graphics).
void start_screen(Runtime& rt, bool text_only = false);

// A box whose lower and right edges carry a shadow: the outline (or a
// filled box) in `color`, then for i = 0 … depth−1 a line under it from
// (x1+i, y2+i) to (x2+i, y2+i) and one right of it from (x2+i, y1+i) to
// (x2+i, y2+i), both in `shadow_color`.
void shadowed_box(Runtime& rt, Rect box, int color, int shadow_color, int depth = 3, bool filled = false);

// A title: the text in colour 8 at (column, row), a white outline `inner`
// box one pixel inside a yellow `outer` box with a yellow shadow of depth 3.
// Programs whose title has a single box leave `inner` empty (all zero).
struct Title {
    std::string text;
    int column = 0;
    int row = 0;
    Rect inner;
    Rect outer;
};
void draw_title(Runtime& rt, const Title& title);

// The table heading: the column numbers (colour 3, style 4) on the row
// above the headings (colour 13, style 0), and an outline box around the
// heading row with a shadow of depth 3, both in `box_color` (0 at start;
// some programs draw it in another colour on a redisplay).
struct Heading {
    std::string numbers;
    int numbers_column = 0;
    int numbers_row = 1;
    std::string headings;
    int headings_column = 0;
    int headings_row = 2;
    Rect box{0, 36, 632, 53};
};
void draw_heading(Runtime& rt, const Heading& heading, int box_color = 0);

// The row of station numbers and names a table program prints at a row
// number: `text` at (column, row) in `color`, `style`, cut at the right
// edge of the screen so it never wraps into the next row.
void print_at(Runtime& rt, int column, int row, std::string_view text, int color, int style = kStyleNormal);

// Blanks the prompt row (row 23) and leaves the cursor at its column 0.
void clear_prompt_row(Runtime& rt);

// Too many stations: "一度に計算するのは16点迄です。" (or 18) at column 2
// of row 23 in colour 10, style 5, WAIT 300, BEEP, then colour 0 style 4.
void show_limit_message(Runtime& rt, int limit);

// The wrong-entry notice shown when a correction number is refused: the
// rice-ball picture, "『ﾐｽ　入力』" and the cheering line, WAIT 200, then
// the picture and message wiped. Table programs wipe the key-bar area and
// print 67 blanks from column 15 of row 23; form programs wipe only the
// box (1,400)-(635,430).
enum class NoticeEnding { Table, Form };
void wrong_entry_notice(Runtime& rt, NoticeEnding ending);

// The end key: BEEP, the closing boxes, all keys off, the farewell
// " お疲れさまでした。 " in colour 12 at column 28 of row 15, END.
[[noreturn]] void farewell(Runtime& rt);

}  // namespace marula
