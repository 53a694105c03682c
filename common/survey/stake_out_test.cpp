#include "survey/stake_out.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marula {
namespace {

// A point `seconds_of_arc` clockwise of +X from `from`, 150 m away: the
// angle is known by construction, independently of the code under test.
Point toward(const Point& from, double seconds_of_arc) {
    const double radians = seconds_of_arc / 3600 * (std::acos(-1.0) / 180);
    return {from.x + 150 * std::cos(radians), from.y + 150 * std::sin(radians)};
}

// Whole seconds of d°m′s″ (a double so rows can add a fraction to it).
double whole(int d, int m, int s) { return (d * 60.0 + m) * 60 + s; }

// Directions 0.001″ either side of a half second, the carries at 59′59.5″
// and 359°59′59.5″, and angles rounded apart from the azimuths.
TEST(StakeOut, AnglesRoundHalfUpToTheSecond) {
    struct Row { const char* what; double backsight, target, azimuth, included; };
    const double b0 = 0, b100 = whole(100, 0, 0);
    const Row rows[] = {
        {"just over a half second", b0, whole(45, 30, 15) + 0.501, whole(45, 30, 16), whole(45, 30, 16)},
        {"just under a half second", b0, whole(45, 30, 15) + 0.499, whole(45, 30, 15), whole(45, 30, 15)},
        {"carry into the degree", b0, whole(10, 59, 59) + 0.501, whole(11, 0, 0), whole(11, 0, 0)},
        {"no carry", b0, whole(10, 59, 59) + 0.499, whole(10, 59, 59), whole(10, 59, 59)},
        {"a whole turn is 0", b0, whole(359, 59, 59) + 0.501, 0, 0},
        {"just short of a turn", b0, whole(359, 59, 59) + 0.499, whole(359, 59, 59), whole(359, 59, 59)},
        {"included angle rounds to a turn", b100, whole(99, 59, 59) + 0.501, whole(100, 0, 0), 0},
        {"included angle just short of a turn", b100, whole(99, 59, 59) + 0.499, whole(99, 59, 59),
         whole(359, 59, 59)},
        {"included angle carries its minute", b100 + 0.4, whole(100, 59, 59) + 0.901, whole(101, 0, 0),
         whole(1, 0, 0)},
        {"included angle stops short", b100 + 0.4, whole(100, 59, 59) + 0.899, whole(101, 0, 0),
         whole(0, 59, 59)},
        // 31″ − 10″ shown, but 30.8″ − 10.4″ = 20.4″ turned: 20″.
        {"from the unrounded azimuths", 10.4, 30.8, 31, 20},
        {"across north", whole(350, 0, 0), whole(10, 0, 0), whole(10, 0, 0), whole(20, 0, 0)},
    };
    const Point station{-12345.678, 23456.789};
    for (const Row& r : rows) {
        const std::optional<StakeOutAngles> a =
            stake_out_angles(station, toward(station, r.backsight), toward(station, r.target));
        ASSERT_TRUE(a) << r.what;
        EXPECT_EQ(a->azimuth_seconds, r.azimuth) << r.what;
        EXPECT_EQ(a->included_seconds, r.included) << r.what;
    }
}

TEST(StakeOut, NoAngleWithoutADirection) {
    const Point station{100, 100}, backsight{200, 100}, target{100, 200};
    EXPECT_FALSE(stake_out_angles(station, backsight, {100.0004, 99.9996}) ||
                 stake_out_angles(station, {100.0004, 100}, target) ||
                 stake_out_angles(station, backsight, {std::nan(""), 100}));
    EXPECT_TRUE(stake_out_angles(station, backsight, {100.001, 100}));
}

TEST(StakeOut, WholeSecondsSplit) {
    const Dms d = dms_of_seconds(1295999);
    EXPECT_TRUE(d.degrees == 359 && d.minutes == 59 && d.seconds == 59);
    const Dms carried = dms_of_seconds(static_cast<long>(whole(11, 0, 0)));
    EXPECT_TRUE(carried.degrees == 11 && carried.minutes == 0 && carried.seconds == 0);
}

}  // namespace
}  // namespace marula
