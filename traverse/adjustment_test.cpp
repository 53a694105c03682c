#include "traverse/adjustment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

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

TEST(AngularMisclosure, WholeSecondsAndHalfTurnReduction) {
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

    // 359°59′50″ typed against a chain ending at 0°00′05″: −15″, not a turn.
    double closing = 359 + 59.0 / 60 + 50.0 / 3600;
    double chain = 5.0 / 3600;
    EXPECT_NEAR(reduce_half_turn(closing - chain), -15.0 / 3600, 1e-9);
    EXPECT_NEAR(reduce_half_turn(chain - closing), 15.0 / 3600, 1e-9);
    EXPECT_EQ(reduce_half_turn(179.5), 179.5);
    EXPECT_EQ(reduce_half_turn(-179.5), -179.5);
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
