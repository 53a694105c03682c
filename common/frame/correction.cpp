#include "correction.h"

#include <cmath>
#include <string>

#include "key_bar.h"
#include "screen.h"

namespace marula {

std::optional<int> whole_number_in(double value, int low, int high) {
    // Compared as doubles first, so a huge or fractional answer never goes
    // through an int conversion it does not fit.
    if (!std::isfinite(value) || value != std::trunc(value)) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return static_cast<int>(value);
}

namespace {

constexpr std::string_view kRowQuestion = "   縦の訂正番号  ";

double ask_on_row(Runtime& rt, int blanks, std::string_view prompt) {
    clear_prompt_row(rt);
    rt.color(0, kStyleNormal);
    rt.locate(0, kPromptRow);
    if (blanks > 0) rt.print(std::string(std::min(blanks, kColumns - 1), ' '));
    rt.locate(0, kPromptRow);
    double value = rt.input_number(prompt);
    clear_prompt_row(rt);
    return value;
}

}  // namespace

std::optional<CellChoice> ask_table_cell(Runtime& rt, const TableCorrection& rules) {
    for (;;) {
        erase_key_bar(rt, KeyBar::Table);
        auto column = whole_number_in(ask_on_row(rt, rules.blanks, "　　横の訂正番号  "), 1, rules.columns);
        if (!column || (rules.column_fits && !rules.column_fits(*column))) {
            wrong_entry_notice(rt, NoticeEnding::Table);
            continue;
        }
        if (rules.needs_row && !rules.needs_row(*column)) return CellChoice{*column, -1};
        if (!rules.has_rows) {
            ask_on_row(rt, 0, kRowQuestion);
            wrong_entry_notice(rt, NoticeEnding::Table);
            return std::nullopt;
        }
        for (;;) {
            // Rows are small numbers; anything beyond a thousand fits no table.
            auto row = whole_number_in(ask_on_row(rt, 0, kRowQuestion), -1000, 1000);
            if (row && rules.row_fits && rules.row_fits(*column, *row)) return CellChoice{*column, *row};
            wrong_entry_notice(rt, NoticeEnding::Table);
        }
    }
}

int ask_field(Runtime& rt, int fields) {
    erase_key_bar(rt, KeyBar::Form);
    for (;;) {
        auto field = whole_number_in(ask_on_row(rt, 57, "　　訂正番号   "), 1, fields);
        if (field) return *field;
        wrong_entry_notice(rt, NoticeEnding::Form);
    }
}

}  // namespace marula
