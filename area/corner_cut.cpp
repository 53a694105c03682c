#include "corner_cut.h"

#include <cmath>

namespace marula::area {

double drop_negative_hair(double v) {
    // The single-precision bound of the stored rule, widened.
    const double bound = double(-0.00049f);
    return (v > bound && v < 0) ? -v : v;
}

namespace {

bool on_corner(const NamedPoint& p, const NamedPoint& corner) {
    return std::hypot(p.at.x - corner.at.x, p.at.y - corner.at.y) < kOnCorner;
}

}  // namespace

CornerCut corner_cut(const NamedPoint& p1, const NamedPoint& p2, const NamedPoint& p3, double chord) {
    CornerCut cut;
    const Bearing b21 = azimuth_from_deltas(p1.at.x - p2.at.x, p1.at.y - p2.at.y, kCornerCutNudges21);
    const Bearing b23 = azimuth_from_deltas(p3.at.x - p2.at.x, p3.at.y - p2.at.y, kCornerCutNudges23);
    cut.azimuth21 = b21.azimuth;
    cut.azimuth23 = b23.azimuth;
    cut.dms21 = degrees_to_dms_b(cut.azimuth21);
    cut.dms23 = degrees_to_dms_b(cut.azimuth23);

    double g = std::fabs(cut.azimuth23 - cut.azimuth21);
    if (g > 180) g = 360 - g;
    cut.corner_angle = g;

    if (on_corner(p1, p2)) {
        cut.fault = CornerFault::Point1OnCorner;
    } else if (on_corner(p3, p2)) {
        cut.fault = CornerFault::Point3OnCorner;
    } else if (g < kSameDirection) {
        cut.fault = CornerFault::SameDirection;
    }
    if (cut.fault != CornerFault::None) return cut;

    // A straight boundary (G = 180) is a real case: sin 90° = 1 and D = L/2.
    cut.cut_length = (chord / 2) / std::sin(radians(g) / 2);
    const double a21 = radians(cut.azimuth21);
    const double a23 = radians(cut.azimuth23);
    cut.p_x = round_mm_corner_cut(drop_negative_hair(p2.at.x + cut.cut_length * std::cos(a21)));
    cut.p_y = round_mm_corner_cut(drop_negative_hair(p2.at.y + cut.cut_length * std::sin(a21)));
    cut.q_x = round_mm_corner_cut(drop_negative_hair(p2.at.x + cut.cut_length * std::cos(a23)));
    cut.q_y = round_mm_corner_cut(drop_negative_hair(p2.at.y + cut.cut_length * std::sin(a23)));

    // Twice the signed area of triangle 2–P–Q from the rounded points.
    const double n = p2.at.y * (cut.q_x - cut.p_x) + cut.q_y * (cut.p_x - p2.at.x) + cut.p_y * (p2.at.x - cut.q_x);
    cut.area = n / 2;
    return cut;
}

}  // namespace marula::area
