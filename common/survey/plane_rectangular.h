// Plane rectangular coordinates and latitude and longitude, both ways,
// within one zone: the transverse Mercator projection of GRS80 with the
// zone's origin and the central scale m₀ = 0.9999.
//
// X points north and Y east, in metres; X is the northing less the
// northing of the origin's latitude on the central meridian, Y the easting
// with no false easting, so the origin is X = Y = 0. Latitude and
// longitude are decimal degrees, north and east positive.
//
// The projection is GeographicLib's transverse Mercator (Krüger's series
// to sixth order, good to 5 nm within 35° of the central meridian). Within
// the reach checked below a conversion and its inverse agree to far better
// than 0.001 mm.
#pragma once

#include <optional>

namespace marula {

// How far east or west of the central meridian a conversion goes, in
// metres of Y: about 31° of arc at the equator, well inside the 35° where
// the series keeps its accuracy, and many times the width of any zone.
inline constexpr double kPlaneReach = 3'500'000.0;

// One point in both systems of a zone.
struct ZonePosition {
    double x = 0;          // m, north of the origin
    double y = 0;          // m, east of the central meridian
    double latitude = 0;   // degrees, −90 … 90
    double longitude = 0;  // degrees, east positive
    // The grid convergence (真北方向角) in degrees, signed as the national
    // survey authority publishes it: negative east of the central meridian,
    // so a true azimuth (方位角) is the grid azimuth (方向角) less this.
    // It is the meridian convergence γ of the projection with its sign
    // reversed; 0 on the central meridian (never −0).
    double convergence = 0;
    // The point scale factor: m₀ on the central meridian, growing east and
    // west (about 1.0001 at 130 km).
    double scale = 0;
};

// From plane X, Y in zone 1 … 19 to latitude, longitude, convergence and
// scale. Nothing for another zone number, for X or Y not finite, for |Y|
// beyond kPlaneReach, or for an X that puts the point beyond either pole.
// The longitude comes back in −180 … 180. x and y are echoed as given.
std::optional<ZonePosition> plane_to_geographic(int zone, double x, double y);

// From latitude and longitude to plane X, Y in zone 1 … 19, with the
// convergence and scale there. Nothing for another zone number, input not
// finite, a latitude outside −90 … 90, a longitude more than 90° from the
// central meridian (after whole turns are taken off) or a point that lands
// beyond kPlaneReach. X and Y are not rounded; latitude and longitude are
// echoed as given.
std::optional<ZonePosition> geographic_to_plane(int zone, double latitude, double longitude);

}  // namespace marula
