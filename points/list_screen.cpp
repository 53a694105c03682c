#include "list_screen.h"

#include "base/format.h"
#include "base/text_codec.h"
#include "frame/bounded_entry.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/screen.h"

namespace marula::points {

int wait_bar_key(Runtime& rt, const BarLabels& labels) {
    for (;;) {
        auto ev = rt.wait_event();
        if (!ev || ev->type != Event::Type::Key || ev->key < 1 || ev->key > 8 || labels[ev->key - 1].empty()) continue;
        flash_key(rt, KeyBar::Table, ev->key);
        rt.all_keys(Trap::Off);
        return ev->key;
    }
}

std::vector<std::string> wrapped(std::string_view text, int indent) {
    return wrap_to_rows(text, kColumns - 1, indent);
}

std::optional<int> choice_of(std::string_view answer, int last) {
    auto value = parse_number(trim_blanks(answer));
    return value ? whole_number_in(*value, 1, last) : std::nullopt;
}

std::string metres(job::Millimetres mm) { return format_using(kCoordinateField, {job::to_metres(mm)}); }

void clear_table(Runtime& rt) {
    for (int row = kFirstRow; row <= kStatusRow; ++row) print_at(rt, 0, row, std::string(kColumns, ' '), 0);
}

void show_lines(Runtime& rt, const std::vector<std::string>& lines, int first_row) {
    clear_table(rt);
    int row = first_row;
    for (const std::string& line : lines) {
        if (row > kStatusRow) break;
        print_at(rt, 0, row++, line, kEntryColor);
    }
}

void pause(Runtime& rt, std::string_view message) {
    ask_text(rt, 2, std::string(message) + "（Enterで一覧に戻ります） ");
}

bool confirm(Runtime& rt, std::string_view question) { return is_yes(ask_text(rt, 2, question)); }

}  // namespace marula::points
