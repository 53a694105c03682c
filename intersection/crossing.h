// The arithmetic shared by the four intersection programs: the small nudges
// laid on the known coordinates, the crossing of two straight lines and the
// distances from the crossing.
//
// Everything here is pure: no screen, no printer. Coordinates are metres,
// X the northing and Y the easting, as doubles.
#pragma once

#include <optional>

#include "survey/survey.h"

namespace marula::isect {

// A nudge laid on one stored point before each calculation.
struct PointNudge {
    double x = 0;
    double y = 0;
};

// Adds the nudge to the stored point in place. Called before every
// calculation, so the additions pile up over repeated corrections; the
// report prints the nudged values.
inline void add_nudge(Point& p, PointNudge b)
{
    p.x += b.x;
    p.y += b.y;
}

// Every small constant of the intersection arithmetic is one of the
// survey library's nudges (survey/survey.h).

// Whether the nudge of 0.000001 is added to the X taken from line 1.
enum class XNudge { None, Add };

// Crossings farther than this from both anchor points (metres) are taken
// as lines that do not meet: nearly parallel lines whose crossing is only
// rounding noise.
inline constexpr double kFarthestCrossing = 1'000'000.0;

// Lines closer to parallel than this (the sine of the angle between them,
// about 0.2 seconds of arc) do not meet either: the small nudges laid on
// the points tilt a line by more than that when it is short, so a line
// typed twice would otherwise cross itself at a point made of nudges.
inline constexpr double kParallelSine = 1e-6;

std::optional<Point> cross_lines(Point a, Point b, Point c, Point d, XNudge nudge);

// Straight distance in metres: sqrt((X - Xk)^2 + (Y - Yk)^2), from the
// crossing `from` to the known point `to`; not rounded.
double distance(Point from, Point to);

// A point at `length` metres from `origin` in the azimuth `degrees`
// (clockwise from +X): X + length*cos((pi/180)*a), Y + length*sin((pi/180)*a),
// with pi/180 formed first. Used for the second point of a line given by a
// direction.
Point point_along(Point origin, double degrees, double length);

}  // namespace marula::isect
