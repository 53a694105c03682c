// Script lines and report transcripts for the inverse programs' tests.
#pragma once

#include <string>
#include <vector>

#include "script_run.h"

namespace marula::test::inverse {

using test::run_script;
using test::ScriptResult;
using test::Lines;
using test::operator+;
using test::transcript;

// A point typed after the start: name, X, Y.
inline Lines point(const std::string& name, const std::string& x, const std::string& y) {
    return {"type " + name, "type " + x, "type " + y};
}

inline Lines chain(const std::vector<std::vector<std::string>>& points, bool end = true) {
    Lines lines;
    for (const auto& p : points) {
        Lines more = point(p[0], p[1], p[2]);
        lines.insert(lines.end(), more.begin(), more.end());
    }
    if (end) lines.push_back("type *");
    return lines;
}

// The report lines that carry a leg (they hold the degree sign).
inline std::vector<std::string> leg_lines(const ScriptResult& r) {
    std::vector<std::string> legs;
    for (const std::string& line : transcript(r))
        if (line.find("°") != std::string::npos) legs.push_back(line);
    return legs;
}

}  // namespace marula::test::inverse
