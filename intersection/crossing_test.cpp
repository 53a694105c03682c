// The line crossing, its guards and the directions of the intersection
// programs, checked against geometry worked out independently.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "intersection/crossing.h"
#include "intersection/intersection_frame.h"

namespace marula::isect {
namespace {

struct CrossingCase {
    const char* what;
    Point a, b, c, d;
    bool meets;
};

// Lines in general position, steep ones, ones meeting far out and ones
// that never meet.
const CrossingCase kCrossings[] = {
    {"diagonals of a square", {0, 0}, {10, 10}, {10, 0}, {0, 10}, true},
    {"crossing behind both first points", {0, 0}, {1, 1}, {0, 10}, {1, 9}, true},
    {"survey-sized coordinates", {-146774.089, -3353.248}, {-146735.997, -3274.645}, {-146747.806, -3316.290},
     {-146766.950, -3321.721}, true},
    {"line 1 due north with a tiny Y difference: X from line 2", {100, 50}, {200, 50.00000001}, {150, 0},
     {150, 100}, true},
    {"line 1 due north with a Y difference exactly 0", {100, 50}, {200, 50}, {0, 0}, {100, 100}, true},
    {"line 2 due north", {0, 0}, {100, 100}, {0, 30}, {500, 30}, true},
    {"nearly parallel, meeting 500 km away", {0, 0}, {0, 1}, {1, 0}, {0.999998, 1}, true},
    {"parallel lines", {0, 0}, {10, 10}, {0, 5}, {10, 15}, false},
    {"one line twice", {0, 0}, {10, 10}, {2, 2}, {7, 7}, false},
    {"two north-south lines", {0, 0}, {100, 0}, {0, 10}, {100, 10}, false},
    {"nearly parallel, meeting beyond 1000 km", {0, 0}, {0, 1}, {1, 0}, {0.9999991, 1}, false},
    {"one short line twice, tilted apart by the nudges", {kNudge1e7, kNudge1e7}, {0.5 + kNudge1e8, 0.5 + kNudge11e8},
     {0.1 + kNudge5e8, 0.1 + kNudge7e8}, {0.4, 0.4}, false},
    {"within 0.2 seconds of parallel", {0, 0}, {0, 1000}, {1, 0}, {1.0009, 1000}, false},
    {"a line of no length", {5, 5}, {5, 5}, {0, 0}, {10, 0}, false},
};

// The crossing of two lines solved with long double from the determinant
// form, independent of the slope arithmetic.
Point solve(Point a, Point b, Point c, Point d)
{
    const long double x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y, x3 = c.x, y3 = c.y, x4 = d.x, y4 = d.y;
    const long double den = (x1 - x2) * (y3 - y4) - (y1 - y2) * (x3 - x4);
    const long double p = x1 * y2 - y1 * x2, q = x3 * y4 - y3 * x4;
    return {double((p * (x3 - x4) - (x1 - x2) * q) / den), double((p * (y3 - y4) - (y1 - y2) * q) / den)};
}

TEST(CrossLines, FindsTheCrossingOrSaysTheLinesDoNotMeet)
{
    for (const CrossingCase& t : kCrossings) {
        SCOPED_TRACE(t.what);
        const std::optional<Point> got = cross_lines(t.a, t.b, t.c, t.d, XNudge::None);
        ASSERT_EQ(got.has_value(), t.meets);
        if (!got) continue;
        const Point expected = solve(t.a, t.b, t.c, t.d);
        // Half a millimetre: what the screen shows is right.
        EXPECT_NEAR(got->x, expected.x, 0.0005);
        EXPECT_NEAR(got->y, expected.y, 0.0005);
    }
}

TEST(CrossLines, NudgesXOnlyWhenAskedAndNeverOnTheSteepRule)
{
    struct Case {
        const char* what;
        Point a, b, c, d;
        double x_difference;  // X with XNudge::Add less X without
    } const cases[] = {
        {"ordinary lines", {0, 0}, {10, 10}, {10, 0}, {0, 10}, kNudge1e6},
        {"line 1 steep: X from line 2", {100, 50}, {200, 50.0000001}, {150, 0}, {150, 100}, 0.0},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        const auto plain = cross_lines(t.a, t.b, t.c, t.d, XNudge::None);
        const auto nudged = cross_lines(t.a, t.b, t.c, t.d, XNudge::Add);
        ASSERT_TRUE(plain && nudged);
        EXPECT_EQ(nudged->y, plain->y);
        EXPECT_EQ(nudged->x - plain->x, t.x_difference);
    }
}

TEST(PointAlong, GoesClockwiseFromNorth)
{
    struct Case {
        double degrees;
        Point expected;
    } const cases[] = {
        {0, {110, 20}}, {90, {10, 120}}, {180, {-90, 20}}, {270, {10, -80}},
        {45, {10 + 50 * std::sqrt(2.0), 20 + 50 * std::sqrt(2.0)}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.degrees);
        const Point got = point_along({10, 20}, t.degrees, 100);
        EXPECT_NEAR(got.x, t.expected.x, 1e-9);
        EXPECT_NEAR(got.y, t.expected.y, 1e-9);
    }
}

TEST(SamePlace, HalfAMillimetreApartIsOnePlace)
{
    struct Case {
        Point a, b;
        bool same;
    } const cases[] = {
        {{1, 2}, {1, 2}, true},
        {{1, 2}, {1 + kNudge4e7, 2 + kNudge3e7}, true},  // the nudges alone
        {{1, 2}, {1.0004, 2}, true},
        {{1, 2}, {1.001, 2}, false},
        {{1, 2}, {1, 1.999}, false},
    };
    for (const Case& t : cases) EXPECT_EQ(same_place(t.a, t.b), t.same) << t.b.x << " " << t.b.y;
}

TEST(Direction, ReadsAsTypedAndKeepsTheInputNudge)
{
    struct Case {
        double typed;
        double d, m, s;
    } const cases[] = {
        {20.2512, 20, 25, 12}, {0, 0, 0, 0}, {359.5959, 359, 59, 59}, {0.0003, 0, 0, 3},
        {-20.2512, 339, 34, 48},  // anticlockwise of north
        {double(195.5017f), 195, 50, 16},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.typed);
        Direction direction{t.typed, {}, 0};
        convert(direction);
        EXPECT_EQ(direction.dms.degrees, t.d);
        EXPECT_EQ(direction.dms.minutes, t.m);
        EXPECT_EQ(direction.dms.seconds, t.s);
        EXPECT_EQ(direction.degrees, t.d + t.m / 60 + t.s / 3600 + kNudge1e8);
        // Read again, the same split; the stored value has grown by the
        // input nudge once more.
        const double kept = direction.packed;
        convert(direction);
        EXPECT_EQ(direction.dms.seconds, t.s);
        EXPECT_EQ(direction.packed, kept + kNudge1e7);
    }
}

}  // namespace
}  // namespace marula::isect
