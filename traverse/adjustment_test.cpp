#include "traverse/adjustment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "survey/survey.h"

namespace marula {
namespace {

std::vector<double> seconds_of(const std::vector<AngleCorrection>& c) {
    std::vector<double> out;
    for (const auto& a : c) out.push_back(a.seconds);
    return out;
}

TEST(AngularDistribution, SpreadsWholeSecondsByCumulativeRounding) {
    struct Case {
        double w;
        int count;
        double e;
        std::vector<double> expected;
    } const cases[] = {
        {10, 3, kLinkShareNudge, {3, 4, 3}},
        {-10, 3, kLinkShareNudge, {-3, -4, -3}},
        {5, 4, kLinkShareNudge, {1, 2, 1, 1}},    // the half share at step 2 rounds up
        {-5, 4, kLinkShareNudge, {-1, -2, -1, -1}},
        {2, 3, kLinkShareNudge, {1, 0, 1}},
        {0, 3, kLinkShareNudge, {0, 0, 0}},
        {-1, 1, kLinkShareNudge, {-1}},
        {7, 5, kLoopShareNudge, {1, 2, 1, 2, 1}},  // shares of 1.4 over five angles
        {-8, 4, kLoopShareNudge, {-2, -2, -2, -2}},
    };
    for (const auto& c : cases) {
        auto got = distribute_angle_misclosure(c.w, c.count, c.e);
        EXPECT_EQ(seconds_of(got), c.expected) << "W=" << c.w << " N=" << c.count;
        double sum = std::accumulate(c.expected.begin(), c.expected.end(), 0.0);
        EXPECT_EQ(sum, c.w);
        for (const auto& a : got) {
            // The degree form carries the share nudge with the sign of t.
            double e = c.w < 0 ? -c.e : c.e;
            EXPECT_EQ(a.degrees, a.seconds / 3600 + e);
            EXPECT_FALSE(std::signbit(a.seconds) && a.seconds == 0) << "a -0 share would print as -0";
        }
    }
    EXPECT_TRUE(distribute_angle_misclosure(4, 0, kLinkShareNudge).empty());
}

TEST(AngularMisclosure, WholeSeconds) {
    struct Case {
        double w;
        double seconds;
    } const cases[] = {
        {-10.0 / 3600, -10},
        {10.0 / 3600, 10},
        {1.0 / 3600 - 1e-12, 1},  // a hair short of a second still counts it when positive
        {-(1.0 / 3600 - 1e-12), 0},
        {0, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(misclosure_seconds(c.w), c.seconds) << c.w;
}

TEST(CompassRule, SpreadsTheMisclosureOverTheLegsAgainstItsSign) {
    struct Case {
        std::vector<double> legs;
        float f;
        float total;
        std::vector<double> expected;
    } const cases[] = {
        {{100, 200, 100}, 7, 400, {-2, -3, -2}},  // 1.75 → 2, 5.25 → 5, remainder 2
        {{100, 200, 100}, -7, 400, {2, 3, 2}},
        {{100, 100}, -9, 200, {5, 4}},
        {{100, 100}, 8, 200, {-4, -4}},
        {{250}, -3, 250, {3}},                    // one leg takes it all
        {{100, 100}, 0, 200, {0, 0}},
        {{100, -100}, 6, 0, {0, -6}},             // a zero total: the last leg takes all
    };
    for (const auto& c : cases) {
        auto got = compass_corrections(c.legs, c.f, c.total);
        EXPECT_EQ(got, c.expected) << "f=" << c.f;
        for (double v : got) EXPECT_FALSE(std::signbit(v) && v == 0);
    }
    EXPECT_TRUE(compass_corrections({}, 5, 100).empty());
}

TEST(AdjustedLegs, ResolveSpreadAndPlace) {
    // Index 0 is station 0 and stays untouched by all three steps.
    struct Case {
        const char* what;
        std::vector<double> azimuths, distances;
        float sum_x, sum_y;            // whole millimetres
        std::vector<double> dx, dy;    // legs 1 … n to the millimetre
        float fx, fy;                  // misclosures handed to the compass rule
        std::vector<double> cx, cy;    // its corrections
        std::vector<double> x, y;      // stations 0 … n from (1000, 2000)
    } const cases[] = {
        {"north then east, differences rounded half away from zero",
         {0, 0, 90}, {0, 100.0004, 50.0006}, 100000, 50001, {100.0, 0.0}, {0.0, 50.001},
         0, 0, {0, 0}, {0, 0},
         {1000, 1100.000001, 1100.000002}, {2000, 2000.000001, 2050.001002}},
        {"south and west legs sum negative millimetres",
         {0, 180, 270}, {0, 100.0005, 100.0005}, -100001, -100001, {-100.001, 0.0}, {0.0, -100.001},
         7, -7, {-4, -3}, {4, 3},
         {1000, 899.995001, 899.992002}, {2000, 2000.004001, 1900.006002}},
    };
    for (const Case& c : cases) {
        const int n = int(c.distances.size()) - 1;
        std::vector<AdjustedLeg> legs(n + 1);
        LegSums sums = resolve_legs(c.azimuths, c.distances, legs, n);
        EXPECT_EQ(sums.x_mm, c.sum_x) << c.what;
        EXPECT_EQ(sums.y_mm, c.sum_y) << c.what;
        float total = 0;
        for (int i = 1; i <= n; ++i) {
            EXPECT_NEAR(legs[i].dx, c.dx[i - 1], 1e-9) << c.what << " leg " << i;
            EXPECT_NEAR(legs[i].dy, c.dy[i - 1], 1e-9) << c.what << " leg " << i;
            total = static_cast<float>(double(total) + c.distances[i]);
        }
        spread_misclosure(c.distances, legs, n, c.fx, c.fy, total);
        std::vector<double> x(n + 1), y(n + 1);
        x[0] = 1000;
        y[0] = 2000;
        place_stations(x, y, legs, n);
        for (int i = 1; i <= n; ++i) {
            EXPECT_EQ(legs[i].x_correction, c.cx[i - 1]) << c.what << " leg " << i;
            EXPECT_EQ(legs[i].y_correction, c.cy[i - 1]) << c.what << " leg " << i;
        }
        for (int i = 0; i <= n; ++i) {
            EXPECT_NEAR(x[i], c.x[i], 1e-7) << c.what << " station " << i;
            EXPECT_NEAR(y[i], c.y[i], 1e-7) << c.what << " station " << i;
        }
        EXPECT_EQ(legs[0].dx, 0) << c.what;  // station 0 is not a leg
    }
}

TEST(LinearMisclosure, RatioAndZeroMisclosure) {
    EXPECT_EQ(linear_misclosure(-9, 8, kLinkLinearHalf), 0.012);  // √145 = 12.04
    EXPECT_EQ(linear_misclosure(3, 4, kLinkLinearHalf), 0.005);
    EXPECT_EQ(linear_misclosure(0, 0, kLinkLinearHalf), 0.0);
    EXPECT_EQ(precision_denominator(200, 0.012), 16667);
    // A zero misclosure stands in as the single 1e-9: finite, far too wide.
    double p = precision_denominator(200, 0);
    EXPECT_TRUE(std::isfinite(p));
    EXPECT_GT(p, 1e11);
}

}  // namespace
}  // namespace marula
