// Line entry on the prompt row, number entry and notices.
#include "runtime.h"

#include "base/printable.h"
#include <utility>

#include "runtime_internal.h"

namespace marula {

using namespace detail;

std::string Runtime::read_line(int column, int row) {
    std::string buffer;
    std::vector<int> widths;  // columns of each character, for Backspace
    int col = column;
    entering_ = true;
    preedit_.clear();
    auto place = [&] {
        entry_col_ = col;
        entry_row_ = row;
        backend_->set_text_input_rect(col * kCellWidth, row * kCellHeight, kCellWidth, kCellHeight);
    };
    auto echo = [&](std::string_view text) {
        // Control characters are dropped as they are typed (the journal
        // drops them too): an entry's value is always one plain line.
        for (const std::string& ch : split_chars(without_control_characters(text))) {
            char32_t cp = decode_char(ch);
            int w = char_width(cp);
            buffer += ch;
            if (col + w <= kColumns) {
                locate(col, row);
                put_char(ch, w);
                col += w;
                widths.push_back(w);
            } else {
                widths.push_back(0);  // kept in the value, beyond the row's end
            }
        }
    };
    show_journal_notice();
    show_standing_notice();
    place();
    backend_->start_text_input();
    for (;;) {
        present();
        // What was typed ahead, during a notice or a WAIT, comes first.
        std::optional<InputEvent> ev;
        if (!typeahead_.empty()) {
            ev = std::move(typeahead_.front());
            typeahead_.pop_front();
        } else {
            ev = next_input(std::nullopt);
        }
        if (!ev) continue;
        end_standing_notice();  // typed ahead: the notice goes as the typing shows
        bool done = false;
        switch (ev->type) {
            case InputEvent::Type::TypeLine:
                echo(ev->text);
                done = true;
                break;
            case InputEvent::Type::Text:
                echo(ev->text);
                break;
            case InputEvent::Type::Editing:
                preedit_ = ev->text;
                break;
            case InputEvent::Type::Key:
                if (ev->key == Key::Enter) {
                    done = true;
                } else if (ev->key == Key::Escape && !escape_question_.empty()) {
                    escape_entry();
                } else if (ev->key == Key::Backspace && !widths.empty()) {
                    int w = widths.back();
                    widths.pop_back();
                    auto chars = split_chars(buffer);
                    chars.pop_back();
                    buffer.clear();
                    for (auto& c : chars) buffer += c;
                    for (int i = 0; i < w; ++i) text_[row][col - w + i] = Cell{};
                    col -= w;
                } else {
                    queue_trap_event(*ev);  // a bound key waits until the entry is done
                }
                break;
            case InputEvent::Type::DoubleClick:
                queue_trap_event(*ev);
                break;
            default:
                break;
        }
        place();
        if (done) break;
    }
    backend_->stop_text_input();
    entering_ = false;
    preedit_.clear();
    locate(col < kColumns ? col : kColumns - 1, row);
    return buffer;
}

std::string Runtime::input_text(std::string_view prompt) {
    print(prompt);
    if (cursor_col_ >= kColumns) line_feed();
    std::string text = read_line(cursor_col_, cursor_row_);
    line_feed();
    return text;
}

double Runtime::input_number(std::string_view prompt, std::optional<double> preset) {
    int col = cursor_col_, row = cursor_row_;
    int color = color_, style = style_;
    for (;;) {
        locate(col, row);
        color_ = color;
        style_ = style;
        print(prompt);
        if (cursor_col_ >= kColumns) line_feed();
        int entry_row = cursor_row_;
        std::string text = read_line(cursor_col_, entry_row);
        bool blank = std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
        if (blank && preset) {
            line_feed();
            return *preset;
        }
        if (auto v = parse_number(text)) {
            line_feed();
            return *v;
        }
        // Refused: the answer is wiped and the same question asked again.
        for (int c = col; c < kColumns; ++c) text_[row][c] = Cell{};
        if (entry_row != row) clear_row(entry_row);
        notice(blank ? "数値を入力して下さい。" : "数値ではありません。もう一度入力して下さい。");
    }
}

void Runtime::say(std::string_view message) {
    log_event("notice " + std::string(message));
    notice(message);
}

void Runtime::say_until_key(std::string_view message) {
    log_event("notice " + std::string(message));
    stand_until_key(message);
}

void Runtime::stand_until_key(std::string_view message) { standing_notice_ = cut_to_width(message, kColumns - 1); }

void Runtime::show_standing_notice() {
    if (!standing_notice_) return;
    const std::string message = std::move(*standing_notice_);
    standing_notice_.reset();
    const int col = cursor_col_, row = cursor_row_, color = color_, style = style_;
    if (!under_standing_notice_) under_standing_notice_ = text_[kPromptRow];
    clear_row(kPromptRow);
    locate(0, kPromptRow);
    color_ = 10;
    style_ = 4;
    print(message);
    beep();
    locate(col, row);
    color_ = color;
    style_ = style;
}

void Runtime::end_standing_notice() {
    if (!under_standing_notice_) return;
    text_[kPromptRow] = *under_standing_notice_;
    under_standing_notice_.reset();
}

void Runtime::notice(std::string_view message) {
    int col = cursor_col_, row = cursor_row_, color = color_, style = style_;
    std::array<Cell, kColumns> saved = text_[kPromptRow];
    // No entry cursor over the notice (nor, before an entry has its place,
    // at the top left of the title row).
    const bool was_entering = std::exchange(entering_, false);
    clear_row(kPromptRow);
    locate(0, kPromptRow);
    color_ = 10;
    style_ = 4;
    // Cut to the row: text that ran past it would line-feed the console,
    // and a console over the whole screen would take the title row off the
    // top while only the prompt row is put back.
    print(cut_to_width(message, kColumns - 1));
    present();
    beep();
    wait(120);
    text_[kPromptRow] = saved;
    entering_ = was_entering;
    locate(col, row);
    color_ = color;
    style_ = style;
}

}  // namespace marula
