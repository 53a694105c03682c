#include "intersection/crossing.h"

#include <cmath>

#include "survey/survey.h"

namespace marula::isect {

namespace {

// The sine of the angle between the lines a-b and c-d; 0 when either has
// no length.
double sine_between(Point a, Point b, Point c, Point d)
{
    const double ux = b.x - a.x, uy = b.y - a.y;
    const double vx = d.x - c.x, vy = d.y - c.y;
    const double lengths = std::hypot(ux, uy) * std::hypot(vx, vy);
    if (!(lengths > 0)) return 0;
    return std::fabs(ux * vy - uy * vx) / lengths;
}

}  // namespace

std::optional<Point> cross_lines(Point a, Point b, Point c, Point d, XNudge nudge)
{
    if (!(sine_between(a, b, c, d) >= kParallelSine)) return std::nullopt;

    // A line along +X has no Y difference; the stand-in keeps the slope
    // finite (very large) instead of dividing by zero.
    double dy1 = a.y - b.y;
    if (dy1 == 0) dy1 = kNudge1e7;
    double dy2 = c.y - d.y;
    if (dy2 == 0) dy2 = kNudge1e7;

    const double s1 = (a.x - b.x) / dy1;
    const double c1 = a.x - s1 * a.y;
    const double s2 = (c.x - d.x) / dy2;
    const double c2 = c.x - s2 * c.y;

    // Equal slopes: parallel or one line twice. Nothing to divide by.
    if (s1 - s2 == 0) return std::nullopt;

    Point p;
    p.y = (c2 - c1) / (s1 - s2) + kNudge1e6;
    p.x = s1 * p.y + c1;
    if (nudge == XNudge::Add) p.x += kNudge1e6;
    if (std::fabs(s1) > 100000) p.x = s2 * p.y + c2;

    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
    if (distance(p, a) > kFarthestCrossing && distance(p, c) > kFarthestCrossing) return std::nullopt;
    return p;
}

double distance(Point from, Point to)
{
    return std::sqrt((from.x - to.x) * (from.x - to.x) + (from.y - to.y) * (from.y - to.y));
}

Point point_along(Point origin, double degrees, double length)
{
    const double per_degree = kPi / 180;
    return {origin.x + length * std::cos(per_degree * degrees),
            origin.y + length * std::sin(per_degree * degrees)};
}

}  // namespace marula::isect
