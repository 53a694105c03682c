// Small helpers for the traverse programs' script-mode tests: reading a
// table cell and counting logged events.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script_run.h"

namespace marula::test {

// The cells of one text row of a snap, `width` grid columns from `column`.
inline std::string text_cells(const ScriptResult& r, std::string_view snap, int text_row, int column, int width) {
    return cut_columns(r.row(snap, text_row), column, width);
}

// How many times an event was logged.
inline int count_logged(const ScriptResult& r, std::string_view line) {
    int n = 0;
    for (const std::string& e : r.events) n += e == line;
    return n;
}

}  // namespace marula::test
