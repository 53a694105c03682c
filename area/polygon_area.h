// The area of a polygon from its vertex coordinates (the coordinate
// method), with the azimuth and length of every side.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "survey/survey.h"

namespace marula::area {

// A side from one vertex to the next.
struct Side {
    double delta_x = 0;  // X(to) − X(from) + 1e-9 (single, widened)
    double delta_y = 0;  // Y(to) − Y(from) + 2e-9 (single, widened)
    double length = 0;   // √(ΔX² + ΔY²), metres, not rounded
    double azimuth = 0;  // degrees clockwise from +X, net +1e-5 nudge, no wrap
    Dms dms;             // the azimuth split for display, seconds truncated
};

// The side from `from` to `to`. The offsets keep both differences off
// zero, so a side of length 0 still has a defined azimuth.
Side polygon_side(const NamedPoint& from, const NamedPoint& to);

// The terms of the area formula at one vertex, from its neighbours taken
// cyclically (vertex 1's previous is the last, the last's next is vertex 1).
struct AreaTerms {
    double a = 0;  // X(next) − X(previous)
    double b = 0;  // Y(next) − Y(previous)
    double p = 0;  // Y(this) × a
    double q = 0;  // X(this) × b
};

struct PolygonArea {
    std::vector<AreaTerms> terms;     // one per vertex, in order
    double double_area = 0;           // S = Σ p, added in vertex order
    double second_double_area = 0;    // S′ = Σ q, the check
    double area = 0;                  // S / 2
};

// The signed double area and area: positive when the vertices run
// counter-clockwise seen with X (north) up and Y (east) to the right,
// negative when clockwise; no absolute value is taken. Needs at least
// three vertices; fewer give an empty result with zero areas.
PolygonArea polygon_area(std::span<const NamedPoint> vertices);

}  // namespace marula::area
