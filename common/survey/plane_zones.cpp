#include "survey/plane_zones.h"

#include <array>

namespace marula {
namespace {

// One zone's origin as it is published: degrees and minutes.
struct PublishedOrigin {
    int latitude_degrees;
    int longitude_degrees;
    int longitude_minutes;
};

constexpr std::array<PublishedOrigin, kZoneCount> kOrigins{{
    {33, 129, 30},  // 1
    {33, 131, 0},   // 2
    {36, 132, 10},  // 3
    {33, 133, 30},  // 4
    {36, 134, 20},  // 5
    {36, 136, 0},   // 6
    {36, 137, 10},  // 7
    {36, 138, 30},  // 8
    {36, 139, 50},  // 9
    {40, 140, 50},  // 10
    {44, 140, 15},  // 11
    {44, 142, 15},  // 12
    {44, 144, 15},  // 13
    {26, 142, 0},   // 14
    {26, 127, 30},  // 15
    {26, 124, 0},   // 16
    {26, 131, 0},   // 17
    {20, 136, 0},   // 18
    {26, 154, 0},   // 19
}};

}  // namespace

std::optional<ZoneOrigin> zone_origin(int zone) {
    if (zone < 1 || zone > kZoneCount) return std::nullopt;
    const PublishedOrigin& o = kOrigins[static_cast<std::size_t>(zone - 1)];
    return ZoneOrigin{double(o.latitude_degrees), o.longitude_degrees + o.longitude_minutes / 60.0};
}

}  // namespace marula
