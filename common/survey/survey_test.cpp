#include "survey/survey.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace marula {
namespace {

// A packed angle as the user's typed text parses.
double typed(int d, int m, int s, bool negative = false) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%d.%02d%02d", negative ? "-" : "", d, m, s);
    return std::strtod(text, nullptr);
}

TEST(Constants, PiAndSingleNudgesHaveTheirExactBits) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(kPi), 0x400921FB54442D15u);
    EXPECT_EQ(kNudge1e7, 1.0000000116860974e-07);
    EXPECT_EQ(kNudge1e6, 9.999999974752427e-07);
    EXPECT_EQ(kNudge1e8, 9.99999993922529e-09);
    EXPECT_EQ(kNudge1e9, 9.999999717180685e-10);
    EXPECT_EQ(kNudge2e9, 1.999999943436137e-09);
    EXPECT_EQ(kNudge1e5, 9.999999747378752e-06);
    EXPECT_EQ(kNudge2e5, 1.9999999494757503e-05);
    EXPECT_EQ(kHalfUp, 0.500010013580322265625);
}

TEST(Radians, TheTwoOrdersGiveTheirOwnLastBits) {
    struct Row { double degrees, pi_first, pi_over_180_first; };
    const Row rows[] = {
        {20.42, 0.356396233257242, 0.35639623325724196},
        {359.9999, 6.283183561850332, 6.283183561850333},
        {90, 1.570796326794896, 1.570796326794896},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(radians_pi_first(r.degrees), r.pi_first) << r.degrees;
        EXPECT_EQ(radians(r.degrees), r.pi_over_180_first) << r.degrees;
    }
}

TEST(DmsToDegrees, ReadsTheTypedDigits) {
    struct Row { double v, nudge_in, nudge_out; AngleKind kind; double d, m, s, degrees; };
    const Row rows[] = {
        {20.2512, kNudge1e7, kNudge1e7, AngleKind::azimuth, 20, 25, 12, 20.420000100000003},
        {45.30305, kNudge1e7, kNudge1e7, AngleKind::azimuth, 45, 30, 30, 45.508333433333334},  // fifth decimal dropped
        {0.0003, kNudge1e6, 0, AngleKind::included, 0, 0, 3, 3.0 / 3600},
        {0, kNudge1e7, kNudge1e7, AngleKind::azimuth, 0, 0, 0, kNudge1e7},
        {360, kNudge1e7, kNudge1e7, AngleKind::azimuth, 360, 0, 0, 360 + kNudge1e7},  // never wrapped
        {90, kNudge1e7, 0, AngleKind::included, 90, 0, 0, 90},
        // A negative azimuth is the direction that far anticlockwise of +X.
        {-20.2512, kNudge1e7, kNudge1e7, AngleKind::azimuth, 339, 34, 48, 339 + 34.0 / 60 + 48.0 / 3600 + kNudge1e7},
        {-0.0001, kNudge1e6, kNudge1e6, AngleKind::azimuth, 359, 59, 59, 359 + 59.0 / 60 + 59.0 / 3600 + kNudge1e6},
        {-360, kNudge1e7, 0, AngleKind::azimuth, 0, 0, 0, 0},
        // A negative included angle keeps its sign on every part and loses no second.
        {-20.2512, kNudge1e6, kNudge1e7, AngleKind::included, -20, -25, -12, -20.42 + kNudge1e7},
    };
    for (const Row& r : rows) {
        const PackedAngle a = dms_to_degrees(r.v, r.nudge_in, r.nudge_out, r.kind);
        EXPECT_EQ(a.typed.degrees, r.d) << r.v;
        EXPECT_EQ(a.typed.minutes, r.m) << r.v;
        EXPECT_EQ(a.typed.seconds, r.s) << r.v;
        EXPECT_DOUBLE_EQ(a.degrees, r.degrees) << r.v;
        EXPECT_TRUE(packed_angle_is_valid(r.v, r.nudge_in)) << r.v;
    }
}

// Every typed packed value with minutes and seconds below 60 splits back
// into its digits with either input nudge, and a negative azimuth reads
// exactly as its positive equivalent typed.
TEST(DmsToDegrees, EveryTypedAngleSplitsBackIntoItsDigits) {
    for (double nudge : {kNudge1e7, kNudge1e6}) {
        int failures = 0;
        for (int d = 0; d < 360 && failures < 10; ++d) {
            for (int m = 0; m < 60; ++m) {
                for (int s = 0; s < 60; ++s) {
                    const PackedAngle a = dms_to_degrees(typed(d, m, s), nudge, nudge, AngleKind::azimuth);
                    if (a.typed.degrees != d || a.typed.minutes != m || a.typed.seconds != s ||
                        !packed_angle_is_valid(typed(d, m, s), nudge)) {
                        ADD_FAILURE() << d << "." << m << "." << s << " nudge " << nudge << " gives "
                                      << a.typed.degrees << "-" << a.typed.minutes << "-" << a.typed.seconds;
                        ++failures;
                    }
                    const int back = (360 * 3600 - (d * 3600 + m * 60 + s)) % (360 * 3600);
                    const PackedAngle expected =
                        dms_to_degrees(typed(back / 3600, back / 60 % 60, back % 60), nudge, nudge, AngleKind::azimuth);
                    const PackedAngle negative =
                        dms_to_degrees(typed(d, m, s, true), nudge, nudge, AngleKind::azimuth);
                    if (negative.degrees != expected.degrees || negative.typed.degrees != expected.typed.degrees ||
                        negative.typed.minutes != expected.typed.minutes ||
                        negative.typed.seconds != expected.typed.seconds || negative.packed != expected.packed) {
                        ADD_FAILURE() << "-" << d << "." << m << "." << s << " nudge " << nudge
                                      << " is not read as its positive equivalent";
                        ++failures;
                    }
                }
            }
        }
    }
}

// Programs that keep the nudged packed value read it again on every
// recalculation; the split must not drift.
TEST(DmsToDegrees, ReReadingTheKeptPackedValueKeepsTheSplit) {
    for (double v : {20.2512, -20.2512, 0.0003, 195.5017, 359.5959}) {
        const PackedAngle first = dms_to_degrees(v, kNudge1e7, kNudge1e8, AngleKind::azimuth);
        PackedAngle again = first;
        for (int i = 0; i < 20; ++i) again = dms_to_degrees(again.packed, kNudge1e7, kNudge1e8, AngleKind::azimuth);
        EXPECT_EQ(again.typed.degrees, first.typed.degrees) << v;
        EXPECT_EQ(again.typed.minutes, first.typed.minutes) << v;
        EXPECT_EQ(again.typed.seconds, first.typed.seconds) << v;
    }
}

TEST(PackedAngleIsValid, SixtyMinutesOrSecondsAreTypingErrors) {
    struct Row { double v; bool valid; };
    const Row rows[] = {
        {45.6512, false}, {20.7590, false}, {45.5960, false}, {59.6000, false}, {-20.7590, false},
        {45.5959, true},  {0, true},        {360, true},      {-20.2512, true}, {45.30305, true},
        {std::nan(""), false}, {HUGE_VAL, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(packed_angle_is_valid(r.v, kNudge1e7), r.valid) << r.v;
        EXPECT_EQ(packed_angle_is_valid(r.v, kNudge1e6), r.valid) << r.v;
    }
    // The split agrees: the rejected entries are the ones read with 60 or more.
    const PackedAngle a = dms_to_degrees(20.7590, kNudge1e6, 0, AngleKind::included);
    EXPECT_EQ(a.typed.minutes, 75);
    EXPECT_EQ(a.typed.seconds, 90);
    for (int m = 0; m < 100; ++m)
        for (int s = 0; s < 100; ++s)
            for (int d : {0, 1, 45, 359})
                EXPECT_EQ(packed_angle_is_valid(typed(d, m, s), kNudge1e6), m < 60 && s < 60) << d << " " << m << " " << s;
}

TEST(DegreesToDms, FormsAAndBTruncate) {
    struct Row { double a; Dms form_a, form_b; };
    const Row rows[] = {
        {89.99999, {89, 59, 59}, {89, 59, 59}},
        {354.5625, {354, 33, 45}, {354, 33, 44}},  // the two forms part on an exact 45″
        {0.1775, {0, 10, 38}, {0, 10, 39}},
        {0, {0, 0, 0}, {0, 0, 0}},
        {-0.5, {0, -30, 0}, {0, -30, 0}},
    };
    for (const Row& r : rows) {
        const Dms a = degrees_to_dms_a(r.a), b = degrees_to_dms_b(r.a);
        EXPECT_EQ(a.degrees, r.form_a.degrees) << r.a;
        EXPECT_EQ(a.minutes, r.form_a.minutes) << r.a;
        EXPECT_EQ(a.seconds, r.form_a.seconds) << r.a;
        EXPECT_EQ(b.degrees, r.form_b.degrees) << r.a;
        EXPECT_EQ(b.minutes, r.form_b.minutes) << r.a;
        EXPECT_EQ(b.seconds, r.form_b.seconds) << r.a;
        EXPECT_FALSE(std::signbit(a.degrees) || std::signbit(b.degrees)) << r.a;
    }
}

TEST(Azimuths, WrapAndNextAzimuth) {
    struct Wrap { double a, wrapped, upper; };
    const Wrap wraps[] = {
        {360, 0, 0}, {359.9, 359.9, 359.9}, {-0.5, 359.5, -0.5}, {720, 360, 360}, {-360.5, -0.5, -360.5}, {0, 0, 0},
    };
    for (const Wrap& w : wraps) {
        EXPECT_EQ(wrap_azimuth(w.a), w.wrapped) << w.a;
        EXPECT_EQ(wrap_azimuth_upper(w.a), w.upper) << w.a;
    }
    struct Next { double prev, turn; bool first; double next; };
    const Next nexts[] = {
        {20, 200, true, 220}, {20.5, 180, false, 20.5}, {10, 90, false, 280}, {300, 300, false, 60}, {350, 20, true, 10},
    };
    for (const Next& n : nexts) EXPECT_EQ(next_azimuth(n.prev, n.turn, n.first), n.next) << n.prev << " " << n.turn;
}

TEST(AzimuthFromDeltas, QuadrantsAndTheirNudges) {
    struct Row { double dx, dy; AzimuthNudges nudges; double azimuth; Dms shown; };
    const Row rows[] = {
        {0, 1, kInverseNudges, 90.00000427042234, {90, 0, 0}},        // 90° + 0.015″
        {-1, 0, kInverseNudges, 180.00000427042116, {180, 0, 0}},     // 180° + 0.015″
        {0, -1, kInverseNudges, 270.0000157295783, {270, 0, 0}},      // 270° + 0.057″
        {1, 0, kInverseNudges, 1.5729577192685623e-05, {0, 0, 0}},    // 0° + 0.057″
        {1000, -0.0001, kInverseNudges, 360.0000042761514, {360, 0, 0}},  // no wrap
        {0, 0.5, kInverseNudges, 89.99999854084604, {89, 59, 59}},    // short legs feel the nudge
        {-0.5, 0, kInverseNudges, 179.99999854084143, {179, 59, 59}},
        {0, 0, kInverseNudges, 45.00000999999976, {45, 0, 0}},        // equal points
        {3, 4, kAreaNudges, 53.13011235873941, {53, 7, 48}},
        {-3, 4, kAreaNudges, 126.86990762292544, {126, 52, 11}},
        {-3, -4, kAreaNudges, 233.13011234957207, {233, 7, 48}},
        {3, -4, kAreaNudges, 306.86990766876204, {306, 52, 11}},
        {3, 4, kCornerCutNudges21, 53.13010334498867, {53, 7, 48}},
        {-3, 4, kCornerCutNudges21, 126.86989663867668, {126, 52, 11}},
        {-3, -4, kCornerCutNudges23, 233.13010246332334, {233, 7, 48}},
        {3, -4, kCornerCutNudges23, 306.8698975570113, {306, 52, 11}},
        // ΔX exactly 0 belongs to the second-quadrant rule, not the first.
        {-kNudge1e9, 1, kCornerCutNudges21, 89.99999900199997, {89, 59, 59}},
    };
    for (const Row& r : rows) {
        const Bearing b = azimuth_from_deltas(r.dx, r.dy, r.nudges);
        EXPECT_EQ(b.azimuth, r.azimuth) << r.dx << " " << r.dy;
        EXPECT_EQ(b.delta_x, r.dx + r.nudges.delta_x);
        EXPECT_EQ(b.delta_y, r.dy + r.nudges.delta_y);
        const Dms shown = degrees_to_dms_b(b.azimuth);
        EXPECT_EQ(shown.degrees, r.shown.degrees) << r.dx << " " << r.dy;
        EXPECT_EQ(shown.minutes, r.shown.minutes) << r.dx << " " << r.dy;
        EXPECT_EQ(shown.seconds, r.shown.seconds) << r.dx << " " << r.dy;
    }
    // Corner cut keeps no nudge on ΔY: with ΔX cancelled exactly there is
    // no direction, and the result must still be a number.
    EXPECT_TRUE(std::isfinite(azimuth_from_deltas(-kNudge1e9, 0, kCornerCutNudges21).azimuth));
    EXPECT_EQ(leg_distance(3, 4), 5);
    EXPECT_EQ(leg_distance(0, 0), 0);
}

TEST(Rounding, MillimetresHalfAwayFromZero) {
    struct Row { double v, mm, corner_cut, total; };
    const Row rows[] = {
        {-0.0005, -0.001, 0, 0},  // the corner-cut nudge lifts an exact negative half
        {0.0004999, 0, 0, 0},
        {0.0005, 0.001, 0.001, 0.001},
        {0.5005, 0.5, 0.501, 0.501},  // 500.49999999999994: only the nudged forms round up
        {1.2345, 1.235, 1.235, 1.235},
        {-1.2345, -1.235, -1.234, -1.233},
        {1.000499995, 1.0, 1.0, 1.001},  // 0.49999 of a millimetre rounds a total up
        {1.0004999, 1.0, 1.0, 1.0},
        {0, 0, 0, 0},
        {-0.0004, 0, 0, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(round_mm(r.v), r.mm) << r.v;
        EXPECT_EQ(whole_mm(r.v), r.mm * 1000) << r.v;
        EXPECT_EQ(round_mm_corner_cut(r.v), r.corner_cut) << r.v;
        EXPECT_FALSE(std::signbit(round_mm(r.v)) && r.mm == 0) << r.v << " shows -0";
        if (r.v >= 0) {
            EXPECT_EQ(round_total_mm(r.v), r.total) << r.v;
        }
    }
}

}  // namespace
}  // namespace marula

namespace marula {
namespace {

// The azimuth a surveyor would type from two points' coordinates.
TEST(AzimuthSecondsBetween, RoundsTheDirectionToTheNearestSecondWithinATurn) {
    struct Case {
        const char* what;
        double x1, y1, x2, y2;
        std::optional<long> seconds;
    } cases[] = {
        {"due north", 0, 0, 100, 0, 0},
        {"due east", 0, 0, 0, 100, 90 * 3600},
        {"due south", 0, 0, -100, 0, 180 * 3600},
        {"due west", 0, 0, 0, -100, 270 * 3600},
        {"north-west quadrant keeps within the turn", 0, 0, 100, -100, 315 * 3600},
        // 57.735 / 100 falls just short of tan 30°: 29°59′59.96″ rounds up to 30°
        {"a fraction of a second rounds to the nearest", 1000, 1000, 1100, 1057.735, 30 * 3600},
        // 1 mm west over 1 km: 359°59′59.79″ rounds up to a whole turn, which is 0
        {"a turn rounded up is 0, never 360", 0, 0, 1000, -0.001, 0},
        {"the same millimetre both ways has no direction", 5, 5, 5.0004, 4.9996, std::nullopt},
        {"one millimetre apart has one", 5, 5, 5.001, 5, 0},
        {"not a number has none", 0, 0, std::nan(""), 1, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(azimuth_seconds_between(c.x1, c.y1, c.x2, c.y2), c.seconds) << c.what;
}

}  // namespace
}  // namespace marula
