// Small helpers for the intersection programs' end-to-end tests: the
// expected text of a number field and a crossing worked out independently
// of the programs' slope arithmetic.
#pragma once

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "script_run.h"

namespace marula::isect::e2e {

// Report transcripts, whether they hold a line, script pieces joined by +.
using test::has_line;
using test::has_line_containing;
using test::operator+;
using test::transcript;
using test::typed;

// A number as a PRINT USING field of `width` characters with three
// decimals ("#######.###" is 11 wide), for values clear of a half-way
// rounding.
inline std::string field(double value, int width)
{
    // A value that rounds to zero shows no sign.
    if (std::round(value * 1000) == 0) value = 0;
    char text[64];
    std::snprintf(text, sizeof text, "%*.3f", width, value);
    return text;
}

// Whole screen text of a snap, for "never NaN or inf" checks and for
// failure messages.
inline std::string joined(const std::vector<std::string>& rows)
{
    std::ostringstream out;
    for (const std::string& row : rows) out << row << '\n';
    return out.str();
}

inline bool shows_garbage(const std::string& text)
{
    for (const char* bad : {"nan", "NaN", "inf", "Inf"})
        if (text.find(bad) != std::string::npos) return true;
    return false;
}

struct Xy {
    long double x, y;
};

// The crossing of the line through a and b with the line through c and d,
// in long double by the determinant form.
inline Xy crossing(Xy a, Xy b, Xy c, Xy d)
{
    const long double den = (a.x - b.x) * (c.y - d.y) - (a.y - b.y) * (c.x - d.x);
    const long double p = a.x * b.y - a.y * b.x, q = c.x * d.y - c.y * d.x;
    return {(p * (c.x - d.x) - (a.x - b.x) * q) / den, (p * (c.y - d.y) - (a.y - b.y) * q) / den};
}

inline double length(Xy a, Xy b)
{
    return double(std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y)));
}

// A second point of the line through `from` in the azimuth `degrees`.
inline Xy along(Xy from, long double degrees)
{
    const long double r = degrees * 3.14159265358979323846264338327950288L / 180;
    return {from.x + 100 * std::cos(r), from.y + 100 * std::sin(r)};
}


}  // namespace marula::isect::e2e
