// Small helpers for the traverse programs' script-mode tests: the open and
// radial traverses' entries, reading a table cell and counting logged
// events.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script_run.h"

namespace marula::test {

// The open and radial traverses' first entries: the backsight BS along
// `backsight_azimuth`, then the instrument point A at (1000, 1000).
inline Lines start_at(const std::string& backsight_azimuth) {
    return {"type BS", "type " + backsight_azimuth, "type A", "type 1000", "type 1000"};
}
// A further point: its name, included angle and distance.
inline Lines point(const std::string& name, const std::string& angle, const std::string& distance) {
    return {"type " + name, "type " + angle, "type " + distance};
}

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
