// Small helpers for the traverse programs' script-mode tests: joining
// script pieces, reading a table cell and a printed report transcript.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "script_run.h"

namespace marula::test {

using Lines = std::vector<std::string>;

inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The cells of one text row of a snap, `width` grid columns from `column`.
inline std::string text_cells(const ScriptResult& r, std::string_view snap, int text_row, int column, int width) {
    return cut_columns(r.row(snap, text_row), column, width);
}

// The lines of report transcript print-N.txt (empty when there is none).
inline std::vector<std::string> printed(const ScriptResult& r, int n) {
    std::vector<std::string> lines;
    std::ifstream in(r.out_dir / ("print-" + std::to_string(n) + ".txt"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// How many times an event was logged.
inline int count_logged(const ScriptResult& r, std::string_view line) {
    int n = 0;
    for (const std::string& e : r.events) n += e == line;
    return n;
}

}  // namespace marula::test
