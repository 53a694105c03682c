#include "survey/plane_rectangular.h"

#include <gtest/gtest.h>

#include <cmath>

#include "survey/angle_text.h"

namespace marula {
namespace {

// Points published by the national survey authority (X, Y to 0.1 mm, the
// convergence to 0.01″, the scale to 8 decimals), converted both ways.
TEST(PlaneRectangular, PublishedPointsBothWays) {
    struct Row { double latitude, longitude, x, y; const char* convergence; double scale; };
    const Row rows[] = {
        {36 + 6 / 60.0 + 13.58925 / 3600, 140 + 5 / 60.0 + 16.27815 / 3600, 11543.6883, 22916.2436, "−0°08′59.92″",
         0.99990647},
        // Tokyo, west of the meridian; its scale is m₀(1 + Y²/2R₀²) to 8 decimals.
        {35.6895, 139.6917, -34439.1888, -12818.7770, "+0°04′57.46″", 0.99990202},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.convergence);
        const std::optional<ZonePosition> p = geographic_to_plane(9, r.latitude, r.longitude);
        const std::optional<ZonePosition> back = plane_to_geographic(9, r.x, r.y);
        ASSERT_TRUE(p && back);
        EXPECT_NEAR(p->x, r.x, 0.0001);
        EXPECT_NEAR(p->y, r.y, 0.0001);
        EXPECT_NEAR(p->scale, r.scale, 0.5e-8);
        EXPECT_EQ(format_signed_dms(p->convergence), r.convergence);
        EXPECT_EQ(format_signed_dms(back->convergence), r.convergence);
        EXPECT_EQ(format_dms(back->latitude), format_dms(r.latitude));
        EXPECT_EQ(format_dms(back->longitude), format_dms(r.longitude));
    }
    EXPECT_NEAR(geographic_to_plane(9, 35.6895, 139.6917)->convergence, 0.082627920, 0.5e-9);
}

// Each origin written out here from the published table, not read from
// the code's: X = Y = 0, no convergence, the central scale, and back.
TEST(PlaneRectangular, EveryZoneOriginIsTheZero) {
    struct Row { double latitude, longitude_degrees, longitude_minutes; };
    const Row origins[19] = {
        {33, 129, 30}, {33, 131, 0}, {36, 132, 10}, {33, 133, 30}, {36, 134, 20}, {36, 136, 0}, {36, 137, 10},
        {36, 138, 30}, {36, 139, 50}, {40, 140, 50}, {44, 140, 15}, {44, 142, 15}, {44, 144, 15}, {26, 142, 0},
        {26, 127, 30}, {26, 124, 0}, {26, 131, 0}, {20, 136, 0}, {26, 154, 0},
    };
    for (int zone = 1; zone <= 19; ++zone) {
        SCOPED_TRACE(::testing::Message() << "zone " << zone);
        const Row& r = origins[zone - 1];
        const double longitude = r.longitude_degrees + r.longitude_minutes / 60;
        const std::optional<ZonePosition> p = geographic_to_plane(zone, r.latitude, longitude);
        const std::optional<ZonePosition> back = plane_to_geographic(zone, 0, 0);
        ASSERT_TRUE(p && back);
        EXPECT_NEAR(std::hypot(p->x, p->y), 0, 1e-9);
        EXPECT_NEAR(p->convergence, 0, 1e-12);
        EXPECT_NEAR(p->scale, 0.9999, 1e-15);
        EXPECT_NEAR(back->latitude, r.latitude, 1e-12);
        EXPECT_NEAR(back->longitude, longitude, 1e-12);
    }
}

// X/Y → latitude/longitude → X/Y within 0.001 mm on a 20 km grid out to
// 300 km from every origin; convergence and scale agree both ways.
TEST(PlaneRectangular, RoundTripWithin300KilometresOfEveryOrigin) {
    for (int zone = 1; zone <= 19; ++zone) {
        for (double x = -300e3; x <= 300e3; x += 20e3) {
            for (double y = -300e3; y <= 300e3; y += 20e3) {
                if (std::hypot(x, y) > 300e3) continue;
                SCOPED_TRACE(::testing::Message() << zone << " " << x << " " << y);
                const std::optional<ZonePosition> geo = plane_to_geographic(zone, x, y);
                ASSERT_TRUE(geo);
                const std::optional<ZonePosition> plane = geographic_to_plane(zone, geo->latitude, geo->longitude);
                ASSERT_TRUE(plane);
                EXPECT_LE(std::hypot(plane->x - x, plane->y - y), 1e-6);
                EXPECT_NEAR(plane->convergence, geo->convergence, 1e-11);
                EXPECT_NEAR(plane->scale, geo->scale, 1e-12);
                EXPECT_TRUE(y == 0 || (geo->convergence < 0) == (y > 0)) << "negative east of the meridian";
            }
        }
    }
}

TEST(PlaneRectangular, NoPlaceForInputOutsideTheProjection) {
    const double nan = std::nan("");
    EXPECT_FALSE(plane_to_geographic(0, 0, 0) || plane_to_geographic(20, 0, 0));
    EXPECT_FALSE(plane_to_geographic(9, nan, 0) || plane_to_geographic(9, 0, HUGE_VAL));
    EXPECT_FALSE(plane_to_geographic(9, 0, kPlaneReach + 1));
    EXPECT_FALSE(plane_to_geographic(9, 7000e3, 0) || plane_to_geographic(9, -15000e3, 0));  // past a pole
    EXPECT_FALSE(geographic_to_plane(0, 36, 139) || geographic_to_plane(9, 90.5, 139));
    EXPECT_FALSE(geographic_to_plane(9, nan, 139) || geographic_to_plane(9, 36, -HUGE_VAL));
    EXPECT_FALSE(geographic_to_plane(9, 0, 139.8 + 95) || geographic_to_plane(9, 0, 139.8 + 60));
    // A longitude written a turn away is the same place.
    EXPECT_NEAR(geographic_to_plane(9, 36, 140 - 360)->y, geographic_to_plane(9, 36, 140)->y, 1e-6);
}

}  // namespace
}  // namespace marula
