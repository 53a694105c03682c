// The text plane: colour, cursor, scrolling rows, PRINT and the dumps.
#include "runtime.h"

#include "runtime_internal.h"

namespace marula {

using namespace detail;

void Runtime::color(int foreground, int style) {
    color_ = clamp_color(foreground);
    style_ = style;
}

void Runtime::cls(int mode) {
    if (mode == 0 || mode == 4) {
        for (auto& row : text_) row.fill(Cell{});
        cursor_col_ = 0;
        cursor_row_ = console_first_;
    }
    if (mode == 0 || mode == 5) pixels_.clear();
}

void Runtime::console(int first_row, int count) {
    first_row = std::clamp(first_row, 0, kRows - 1);
    count = std::clamp(count, 1, kRows - first_row);
    console_first_ = first_row;
    console_count_ = count;
}

void Runtime::locate(int column, int row) {
    cursor_col_ = std::clamp(column, 0, kColumns - 1);
    cursor_row_ = std::clamp(row, 0, kRows - 1);
}

void Runtime::clear_row(int row) {
    for (auto& c : text_[row]) c = Cell{};
}

void Runtime::scroll_console() {
    int last = console_first_ + console_count_ - 1;
    for (int r = console_first_; r < last; ++r) text_[r] = text_[r + 1];
    clear_row(last);
}

void Runtime::line_feed() {
    cursor_col_ = 0;
    int last = console_first_ + console_count_ - 1;
    if (cursor_row_ == last) {
        scroll_console();
    } else if (cursor_row_ < last) {
        ++cursor_row_;
    }
    // A cursor below the scrolling rows stays on its row.
}

// Clears a half of a full-width character that a new character overlaps.
static void break_wide(std::array<Cell, kColumns>& row, int col) {
    if (col < 0 || col >= kColumns) return;
    if (row[col].continuation && col > 0) {
        row[col - 1] = Cell{};
        row[col] = Cell{};
    } else if (col + 1 < kColumns && row[col + 1].continuation) {
        row[col + 1] = Cell{};
    }
}

void Runtime::put_char(const std::string& ch, int width) {
    if (cursor_col_ + width > kColumns) line_feed();
    auto& row = text_[cursor_row_];
    for (int i = 0; i < width; ++i) break_wide(row, cursor_col_ + i);
    const auto color = std::uint8_t(color_), style = std::uint8_t(style_);
    row[cursor_col_] = Cell{ch == " " ? U'\0' : decode_char(ch), color, style, false};
    if (width == 2) row[cursor_col_ + 1] = Cell{0, color, style, true};
    cursor_col_ += width;
}

void Runtime::print(std::string_view text) {
    for (const std::string& ch : split_chars(text)) {
        char32_t cp = decode_char(ch);
        if (cp == U'\n') {
            line_feed();
            continue;
        }
        if (cp < 0x20 || cp == 0x7f) continue;  // other control characters show nothing
        if (cursor_col_ >= kColumns) line_feed();
        put_char(ch, char_width(cp));
    }
}

void Runtime::print_line(std::string_view text) {
    print(text);
    line_feed();
}

void Runtime::print_using(std::string_view format, std::initializer_list<UsingArg> args) {
    print(format_using(format, args));
}

std::string Runtime::text_dump() const {
    std::string out;
    for (int r = 0; r < kRows; ++r) {
        std::string line;
        for (int c = 0; c < kColumns; ++c) {
            const Cell& cell = text_[r][c];
            if (cell.continuation) {
                // The second half of a full-width character: shown with its first
                // half unless that is erased.
                if (c == 0 || text_[r][c - 1].ch == 0 || text_[r][c - 1].color == kBackground) line += ' ';
                continue;
            }
            if (cell.ch != 0 && cell.color != kBackground) {
                append_char(line, cell.ch);
            } else {
                line += ' ';
            }
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line;
        out += '\n';
    }
    return out;
}

std::string Runtime::color_dump() const {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const Cell* cell = &text_[r][c];
            if (cell->continuation && c > 0) cell = &text_[r][c - 1];
            bool shows = cell->ch != 0 && cell->color != kBackground;
            out += shows ? kHex[cell->color] : '.';
        }
        out += '\n';
    }
    return out;
}

}  // namespace marula
