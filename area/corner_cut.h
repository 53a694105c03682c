// The corner cut: at corner point 2, where the boundary lines 2–1 and 2–3
// meet, a chord of length L cuts the corner off making equal angles with
// both lines. P lies on line 2–1, Q on line 2–3.
#pragma once

#include "area/polygon_area.h"
#include "survey/survey.h"

namespace marula::area {

// Why no corner can be cut.
enum class CornerFault {
    None,
    SameDirection,   // points 1 and 3 lie in one direction from the corner
    Point1OnCorner,  // point 1 stands on the corner: line 2–1 has no direction
    Point3OnCorner,  // point 3 stands on the corner
};

struct CornerCut {
    CornerFault fault = CornerFault::None;
    // Azimuths of the lines from the corner, degrees, and their split;
    // meaningless for a line whose far point is on the corner.
    double azimuth21 = 0;
    double azimuth23 = 0;
    Dms dms21;
    Dms dms23;
    double corner_angle = 0;  // G, degrees in [0, 180]
    // The rest only when fault is None.
    double cut_length = 0;  // D = (L / 2) / sin(G / 2), metres
    double p_x = 0, p_y = 0;  // P, rounded to the millimetre
    double q_x = 0, q_y = 0;  // Q, rounded to the millimetre
    double area = 0;          // the triangle 2–P–Q, signed: positive when 3 lies clockwise of 1
};

// A point stands on the corner when it is less than half a millimetre from
// it: the form shows coordinates to the millimetre, and a corrected
// coordinate carries a small offset, so exact equality is not the test.
inline constexpr double kOnCorner = 0.0005;
// Lines less than one second of arc apart count as one direction: the two
// azimuths carry different offsets (1e-6 and 1e-7 degree), so their
// difference is never exactly zero, and a cut of such a corner would reach
// further than any survey (a cut length of thousands of kilometres).
inline constexpr double kSameDirection = 1.0 / 3600;

// Whole corner cut from the three points and the chord length L (metres).
CornerCut corner_cut(const NamedPoint& p1, const NamedPoint& p2, const NamedPoint& p3, double chord);

// A coordinate between −0.00049 and 0 (both excluded) loses its sign, so a
// point a hair west or south of zero shows 0.000 and never −0.000.
double drop_negative_hair(double v);

}  // namespace marula::area
