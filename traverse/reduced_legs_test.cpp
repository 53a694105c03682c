// Typed distances brought onto the plane: each leg's ends from the first
// pass at S·m₀. The factors below were worked out apart from this code
// (R₀ = 6371488.6206 m at 36° on GRS80, zone 9).
#include "traverse/reduced_legs.h"

#include <gtest/gtest.h>

#include <array>

namespace marula {
namespace {

struct Row {
    const char* what;
    double factor, plane;
};

void expect_legs(const std::array<ReducedLeg, 4>& legs, std::initializer_list<Row> rows) {
    int i = 1;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_NEAR(legs[std::size_t(i)].line_factor, r.factor, 0.5e-10);
        EXPECT_EQ(legs[std::size_t(i)].plane, r.plane);
        ++i;
    }
}

TEST(ReducedLegs, EachLegTakesItsEndsFromTheFirstPass) {
    const DistanceReduction scale = *distance_reduction(ReductionMode::scale, 9, 0, 0);
    const std::array<double, 4> ground{0, 1000, 1000, 1000};
    std::array<ReducedLeg, 4> legs{};

    // Due north along Y = 100 km: every leg the published 1.000023178.
    reduce_chain_legs(scale, 100000, std::array<double, 4>{0, 0, 0, 0}, ground, legs, 1, 3);
    expect_legs(legs, {{"north 1", 1.0000231776, 1000.023}, {"north 2", 1.0000231776, 1000.023}});

    // Due east from Y = 100 km: the second leg starts where the first pass
    // ended (100999.9), not where the first leg's s would put it.
    const std::array<double, 4> east{0, 90, 90, 90};
    reduce_chain_legs(scale, 100000, east, ground, legs, 1, 2);
    expect_legs(legs, {{"east 1", 1.0000244133, 1000.024}, {"east 2", 1.0000269013, 1000.027}});

    // Radially every shot starts at the instrument point: west and east differ.
    reduce_radial_legs(scale, 100000, std::array<double, 4>{0, 270, 90, 90}, ground, legs, 1, 3);
    expect_legs(legs, {{"west", 1.0000219500, 1000.022}, {"east", 1.0000244133, 1000.024}, {"east again", 1.0000244133, 1000.024}});

    // Only the legs asked for are written.
    legs[3] = ReducedLeg{};
    reduce_chain_legs(scale, 100000, east, ground, legs, 1, 2);
    EXPECT_EQ(legs[3].plane, 0);
}

TEST(ReducedLegs, TheThreeModes) {
    std::array<ReducedLeg, 4> legs{};
    const std::array<double, 4> azimuths{0, 90, 30, 0};
    const std::array<double, 4> ground{0, 1000, 500, 0};
    // なし: as typed, unrounded, factor 1.
    reduce_chain_legs(*distance_reduction(ReductionMode::none, 0, 0, 0), 100000, azimuths,
                      std::array<double, 4>{0, 123.45678, 0, 0}, legs, 1, 1);
    EXPECT_EQ(legs[1].plane, 123.45678);
    EXPECT_EQ(legs[1].ellipsoid, 123.45678);
    EXPECT_EQ(legs[1].line_factor, 1);
    // 標高・縮尺補正 at H̄ 1000, N̄ 40: the first pass runs S·m₀ (999.83676 m east).
    reduce_chain_legs(*distance_reduction(ReductionMode::height_scale, 9, 1000, 40), 100000, azimuths, ground, legs, 1,
                      1);
    EXPECT_NEAR(legs[1].ellipsoid, 999.8367613, 0.5e-7);
    expect_legs(legs, {{"height and scale", 1.0000244131, 999.861}});
    // 縮尺補正 west of the central meridian, along 30°.
    reduce_chain_legs(*distance_reduction(ReductionMode::scale, 9, 1000, 40), -50000, azimuths, ground, legs, 2, 2);
    EXPECT_NEAR(legs[2].line_factor, 0.9999306407, 0.5e-10);
    EXPECT_EQ(legs[2].plane, 499.965);
    EXPECT_EQ(legs[2].ellipsoid, 500);
}

}  // namespace
}  // namespace marula
