#include "traverse/unadjusted.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "survey/survey.h"

namespace marula {
namespace {

struct Shown {
    int d, m, s;
};

Shown shown(double azimuth) {
    Dms dms = degrees_to_dms_b(azimuth);
    return {int(dms.degrees), int(dms.minutes), int(dms.seconds)};
}

TEST(OpenLegAzimuth, ShowsTheWholeSecondsOfTheChain) {
    struct Case {
        double previous, angle;
        bool first;
        Shown expect;
    } cases[] = {
        // Backsight 0 (with its entry nudge), 90° at the instrument point.
        {kNudge1e7, 90, true, {90, 0, 0}},
        // The first leg is the plain sum; the wrap brings 370 to 10.
        {350 + kNudge1e7, 20, true, {10, 0, 0}},
        // Later legs turn back by 180: a straight line keeps its azimuth.
        {90.00000011, 180, false, {90, 0, 0}},
        {45.5, 270, false, {135, 30, 0}},
        {10, 90, false, {280, 0, 0}},
        // Unusual angles: negative, and past a full turn, beyond one wrap.
        {10, -400, false, {150, 0, 0}},
        {0, 900, true, {180, 0, 0}},
        {200, -721, false, {19, 0, 0}},
    };
    for (const Case& c : cases) {
        double a = open_leg_azimuth(c.previous, c.angle, c.first);
        EXPECT_GE(a, 0);
        EXPECT_LT(a, 360);
        Shown s = shown(a);
        EXPECT_EQ(s.d, c.expect.d) << c.previous << " + " << c.angle;
        EXPECT_EQ(s.m, c.expect.m) << c.previous << " + " << c.angle;
        EXPECT_EQ(s.s, c.expect.s) << c.previous << " + " << c.angle;
    }
}

TEST(OpenLegAzimuth, CarriesTheStoredNudge) {
    // 0 + 90 with the backsight's nudges: 90.0000001 and the 1e-8 on top.
    double a2 = open_leg_azimuth(kNudge1e7, 90, true);
    EXPECT_EQ(a2, kNudge1e7 + 90 + kNudge1e8);
    // A straight leg adds one more nudge to what the previous leg stored.
    double a3 = open_leg_azimuth(a2, 180, false);
    EXPECT_NEAR(a3 - a2, kNudge1e8, 1e-12);
}

TEST(RadialAzimuth, SubtractsOneTurnAtMost) {
    struct Case {
        double backsight, angle;
        Shown expect;
    } cases[] = {
        {kNudge1e7, 90, {90, 0, 0}},
        {300 + kNudge1e7, 100, {40, 0, 0}},
        {kNudge1e7, 0, {0, 0, 0}},
        {360 + kNudge1e7, 0, {0, 0, 0}},
        // Past two turns, and below zero: still brought into range.
        {300, 500, {80, 0, 0}},
        {30, -50, {340, 0, 0}},
    };
    for (const Case& c : cases) {
        double a = radial_azimuth(c.backsight, c.angle);
        EXPECT_GE(a, 0);
        EXPECT_LT(a, 360);
        Shown s = shown(a);
        EXPECT_EQ(s.d, c.expect.d) << c.backsight << " + " << c.angle;
        EXPECT_EQ(s.m, c.expect.m);
        EXPECT_EQ(s.s, c.expect.s);
    }
    // 300° and 100° give 40° carrying only the backsight's nudge.
    EXPECT_NEAR(radial_azimuth(300 + kNudge1e7, 100), 40 + kNudge1e7, 1e-12);
}

TEST(LegOffset, MovesAlongTheAzimuth) {
    struct Case {
        double distance, azimuth, dx, dy;
    } cases[] = {
        {100, 0, 100, 0},
        {100, 90 + kNudge1e7, 0, 100},
        {50, 180, -50, 0},
        {25, 270, 0, -25},
        {std::sqrt(2.0) * 10, 45, 10, 10},
        {0, 123.4, 0, 0},
    };
    for (const Case& c : cases) {
        LegOffset o = leg_offset(c.distance, c.azimuth);
        // The display shows millimetres: both components must round there.
        EXPECT_EQ(round_mm(o.dx), c.dx) << c.azimuth;
        EXPECT_EQ(round_mm(o.dy), c.dy) << c.azimuth;
    }
    // Unrounded: a leg of 100 m due +Y keeps its sub-millimetre X offset.
    LegOffset o = leg_offset(100, 90 + kNudge1e7);
    EXPECT_NE(o.dx, 0);
    EXPECT_LT(std::fabs(o.dx), 0.0005);
}

}  // namespace
}  // namespace marula
