// The plane rectangular coordinate system of Japan: its nineteen zones
// (系), the ellipsoid and the central scale they share. The table is kept
// once here; the projection, the distance reduction and the screens that
// name a zone all read it.
#pragma once

#include <optional>

namespace marula {

// GRS80, the ellipsoid of the national datum: semi-major axis in metres
// and inverse flattening.
inline constexpr double kGrs80SemiMajorAxis = 6378137.0;
inline constexpr double kGrs80InverseFlattening = 298.257222101;

// The scale on each zone's central meridian (m₀).
inline constexpr double kPlaneCentralScale = 0.9999;

// Zones are numbered 1 … kZoneCount.
inline constexpr int kZoneCount = 19;

// A zone's origin in decimal degrees: latitude north, longitude east (the
// central meridian). X = Y = 0 there.
struct ZoneOrigin {
    double latitude = 0;
    double longitude = 0;
};

// The origin of zone 1 … 19; nothing for any other number. Longitudes are
// whole degrees plus whole minutes, formed as degrees + minutes/60 (so
// 139°50′ is 139 + 50.0/60, the nearest double to what the minutes say).
std::optional<ZoneOrigin> zone_origin(int zone);

}  // namespace marula
