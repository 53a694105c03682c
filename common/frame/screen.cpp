#include "screen.h"

#include <array>
#include <string>

#include "base/format.h"

namespace marula {

void start_screen(Runtime& rt, bool text_only) {
    rt.color(0, kStyleNormal);
    rt.console(0, kRows);
    rt.cls(0);
    rt.printer_reset();
    rt.cls(text_only ? 4 : 0);
    rt.locate(0, 0);
}

void shadowed_box(Runtime& rt, Rect b, int color, int shadow_color, int depth, bool filled) {
    if (filled) {
        rt.fill_box(b.x1, b.y1, b.x2, b.y2, color);
    } else {
        rt.box(b.x1, b.y1, b.x2, b.y2, color);
    }
    for (int i = 0; i < depth; ++i) {
        rt.line(b.x1 + i, b.y2 + i, b.x2 + i, b.y2 + i, shadow_color);
        rt.line(b.x2 + i, b.y1 + i, b.x2 + i, b.y2 + i, shadow_color);
    }
}

static bool is_empty(const Rect& r) { return r.x1 == 0 && r.y1 == 0 && r.x2 == 0 && r.y2 == 0; }

void print_at(Runtime& rt, int column, int row, std::string_view text, int color, int style) {
    if (column < 0 || column >= kColumns || row < 0 || row >= kRows) return;
    // Cut at the right edge: a character that would not fit would wrap into
    // the next row (or scroll the console) instead.
    std::string fitted;
    int width = 0;
    for (const std::string& ch : split_chars(text)) {
        int w = char_width(decode_char(ch));
        if (column + width + w > kColumns) break;
        fitted += ch;
        width += w;
    }
    rt.color(color, style);
    rt.locate(column, row);
    rt.print(fitted);
    rt.color(kPromptColor, kStyleNormal);
}

void draw_title(Runtime& rt, const Title& title) {
    print_at(rt, title.column, title.row, title.text, kTitleColor, kStylePlain);
    if (!is_empty(title.inner)) rt.box(title.inner.x1, title.inner.y1, title.inner.x2, title.inner.y2, 15);
    shadowed_box(rt, title.outer, 14, 14);
}

void draw_heading(Runtime& rt, const Heading& heading, int box_color) {
    print_at(rt, heading.numbers_column, heading.numbers_row, heading.numbers, kNumberColor, kStyleNormal);
    print_at(rt, heading.headings_column, heading.headings_row, heading.headings, kHeadingColor, kStylePlain);
    shadowed_box(rt, heading.box, box_color, box_color);
}

void clear_prompt_row(Runtime& rt) {
    // Eighty blanks fill the row exactly; the cursor stops at its end
    // without a line feed, so nothing scrolls.
    rt.locate(0, kPromptRow);
    rt.print(std::string(kColumns, ' '));
    rt.locate(0, kPromptRow);
}

void show_limit_message(Runtime& rt, int limit) {
    clear_prompt_row(rt);
    print_at(rt, 2, kPromptRow, "一度に計算するのは" + std::to_string(limit) + "点迄です。", kWarningColor,
             kStyleMessage);
    rt.wait(300);
    rt.beep();
    rt.color(kPromptColor, kStyleNormal);
}

namespace {

// The rice-ball picture: two closed outlines, each list ended by (-1, -1),
// drawn at an offset; the second (the seaweed) is painted in.
struct Point {
    int x, y;
};
constexpr std::array kRiceBall{Point{52, 9},  Point{55, 10}, Point{65, 22}, Point{66, 26},
                               Point{66, 29}, Point{64, 31}, Point{43, 31}, Point{40, 30},
                               Point{39, 28}, Point{42, 18}, Point{52, 9},  Point{-1, -1}};
constexpr std::array kSeaweed{Point{55, 10}, Point{48, 16}, Point{57, 28},
                              Point{65, 22}, Point{55, 10}, Point{-1, -1}};
constexpr int kPictureX = 530;
constexpr int kPictureY = 398;

template <std::size_t N>
void draw_outline(Runtime& rt, const std::array<Point, N>& points) {
    for (std::size_t i = 1; i < N && points[i].x != -1; ++i)
        rt.line(kPictureX + points[i - 1].x, kPictureY + points[i - 1].y, kPictureX + points[i].x,
                kPictureY + points[i].y, 0);
}

}  // namespace

void wrong_entry_notice(Runtime& rt, NoticeEnding ending) {
    draw_outline(rt, kRiceBall);
    draw_outline(rt, kSeaweed);
    rt.paint(591, 420, 0, 0);
    clear_prompt_row(rt);
    print_at(rt, 5, kPromptRow, "『ﾐｽ　入力』", kWarningColor, kStyleNormal);
    print_at(rt, 20, kPromptRow, "お疲れのようですね！おにぎり食べて元気出して下さい。 ", 0, kStyleNormal);
    rt.wait(200);
    if (ending == NoticeEnding::Table) {
        rt.fill_box(0, 398, 640, 432, 15);
    } else {
        rt.fill_box(1, 400, 635, 430, 15);
    }
    // The whole prompt row is blanked, so no tail of the message is left
    // beside the next question.
    clear_prompt_row(rt);
}

void farewell(Runtime& rt) {
    rt.beep();
    for (int h = 1; h <= 329; h += 2) {
        rt.box(h, h, 635 - h, 432 - h, 15);
        rt.wait(1);
    }
    rt.all_keys(Trap::Off);
    rt.mouse_trap(Trap::Off);
    rt.console(0, 23);
    rt.cls(0);
    print_at(rt, 28, 15, " お疲れさまでした。 ", kFarewellColor, kStyleNormal);
    rt.locate(5, 22);
    rt.end();
}

}  // namespace marula
