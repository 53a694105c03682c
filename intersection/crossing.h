// The arithmetic shared by the four intersection programs: the small biases
// laid on the known coordinates, the crossing of two straight lines and the
// distances from the crossing.
//
// Everything here is pure: no screen, no printer. Coordinates are metres,
// X the northing and Y the easting, as doubles.
#pragma once

#include <optional>

namespace marula::isect {

struct Point {
    double x = 0;  // northing, metres
    double y = 0;  // easting, metres
};

// A bias laid on one stored point before each calculation.
struct Bias {
    double x = 0;
    double y = 0;
};

// Adds the bias to the stored point in place. Called before every
// calculation, so the additions pile up over repeated corrections; the
// report prints the biased values.
inline void add_bias(Point& p, Bias b)
{
    p.x += b.x;
    p.y += b.y;
}

// Every small constant of the intersection arithmetic is the single-precision
// value nearest to its decimal, widened to double where it is added.
inline const double k1e8 = double(1e-8f);        // 0.00000001
inline const double k2e8 = double(2e-8f);        // 0.00000002
inline const double k5e8 = double(5e-8f);        // 0.00000005
inline const double k7e8 = double(7e-8f);        // 0.00000007
inline const double k1e7 = double(1e-7f);        // 0.0000001
inline const double k11e8 = double(1.1e-7f);     // 0.00000011
inline const double k15e8 = double(1.5e-7f);     // 0.00000015
inline const double k2e7 = double(2e-7f);        // 0.0000002
inline const double k25e8 = double(2.5e-7f);     // 0.00000025
inline const double k3e7 = double(3e-7f);        // 0.0000003
inline const double k35e8 = double(3.5e-7f);     // 0.00000035
inline const double k4e7 = double(4e-7f);        // 0.0000004
inline const double k45e8 = double(4.5e-7f);     // 0.00000045
inline const double k5e7 = double(5e-7f);        // 0.0000005
inline const double k1e6 = double(1e-6f);        // 0.000001

// Whether the nudge of 0.000001 is added to the X taken from line 1.
enum class XNudge { None, Add };

// Crossings farther than this from both anchor points (metres) are taken
// as lines that do not meet: nearly parallel lines whose crossing is only
// rounding noise.
inline constexpr double kFarthestCrossing = 1'000'000.0;

// Lines closer to parallel than this (the sine of the angle between them,
// about 0.2 seconds of arc) do not meet either: the small biases laid on
// the points tilt a line by more than that when it is short, so a line
// typed twice would otherwise cross itself at a point made of biases.
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
