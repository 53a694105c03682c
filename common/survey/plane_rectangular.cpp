#include "survey/plane_rectangular.h"

#include <GeographicLib/TransverseMercator.hpp>

#include <cmath>

#include "survey/plane_zones.h"

namespace marula {
namespace {

// The one projection every zone shares; only the central meridian moves.
// Built once: the constructor works out the series' coefficients.
const GeographicLib::TransverseMercator& projection() {
    static const GeographicLib::TransverseMercator tm(kGrs80SemiMajorAxis, 1 / kGrs80InverseFlattening,
                                                      kPlaneCentralScale);
    return tm;
}

// The northing of a latitude on the central meridian (GeographicLib counts
// northings from the equator).
double meridian_northing(double latitude) {
    double easting = 0, northing = 0;
    projection().Forward(0, latitude, 0, easting, northing);
    return northing;
}

// The projection's γ is measured the other way round from the published
// convergence; adding +0 keeps the central meridian's value from showing
// as −0.
double published_convergence(double gamma) { return -gamma + 0.0; }

}  // namespace

std::optional<ZonePosition> plane_to_geographic(int zone, double x, double y) {
    const std::optional<ZoneOrigin> origin = zone_origin(zone);
    if (!origin || !std::isfinite(x) || !std::isfinite(y) || std::fabs(y) > kPlaneReach) return std::nullopt;
    const double northing = x + meridian_northing(origin->latitude);
    // Past a pole the inverse would fold back onto the far side of the
    // Earth: a point there is no place in this zone.
    if (std::fabs(northing) > meridian_northing(90)) return std::nullopt;
    ZonePosition p;
    p.x = x;
    p.y = y;
    double gamma = 0;
    projection().Reverse(origin->longitude, y, northing, p.latitude, p.longitude, gamma, p.scale);
    p.convergence = published_convergence(gamma);
    return p;
}

std::optional<ZonePosition> geographic_to_plane(int zone, double latitude, double longitude) {
    const std::optional<ZoneOrigin> origin = zone_origin(zone);
    if (!origin || !std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90)
        return std::nullopt;
    // Beyond 90° of longitude the projection continues onto the far side
    // of the Earth; the series is meant for neither that nor its edge.
    if (std::fabs(std::remainder(longitude - origin->longitude, 360.0)) > 90) return std::nullopt;
    ZonePosition p;
    p.latitude = latitude;
    p.longitude = longitude;
    double northing = 0, gamma = 0;
    projection().Forward(origin->longitude, latitude, longitude, p.y, northing, gamma, p.scale);
    if (!std::isfinite(p.y) || std::fabs(p.y) > kPlaneReach) return std::nullopt;
    p.x = northing - meridian_northing(origin->latitude);
    p.convergence = published_convergence(gamma);
    return p;
}

}  // namespace marula
