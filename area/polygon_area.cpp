#include "polygon_area.h"

namespace marula::area {

Side polygon_side(const NamedPoint& from, const NamedPoint& to) {
    const Bearing bearing = azimuth_from_deltas(to.at.x - from.at.x, to.at.y - from.at.y, kAreaNudges);
    Side side;
    side.delta_x = bearing.delta_x;
    side.delta_y = bearing.delta_y;
    side.length = leg_distance(bearing.delta_x, bearing.delta_y);
    side.azimuth = bearing.azimuth;
    side.dms = degrees_to_dms_b(bearing.azimuth);
    return side;
}

PolygonArea polygon_area(std::span<const NamedPoint> vertices) {
    PolygonArea result;
    const std::size_t n = vertices.size();
    if (n < 3) return result;
    result.terms.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const NamedPoint& previous = vertices[(i + n - 1) % n];
        const NamedPoint& next = vertices[(i + 1) % n];
        AreaTerms& t = result.terms[i];
        t.a = next.at.x - previous.at.x;
        t.b = next.at.y - previous.at.y;
        t.p = vertices[i].at.y * t.a;
        t.q = vertices[i].at.x * t.b;
    }
    // Summed in vertex order from the first: the last bits of S depend on
    // the order, and S / 2 often sits on a half-way point of its sixth
    // decimal.
    for (const AreaTerms& t : result.terms) {
        result.double_area += t.p;
        result.second_double_area += t.q;
    }
    result.area = result.double_area / 2;
    return result;
}

}  // namespace marula::area
