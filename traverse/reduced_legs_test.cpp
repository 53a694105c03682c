// Typed distances brought onto the plane, each leg's ends from the first
// pass at S·m₀. The factors were worked out apart from this code (R₀ =
// 6371488.6206 m at 36° on GRS80, zone 9).
#include "traverse/reduced_legs.h"

#include <gtest/gtest.h>

#include <array>

namespace marula {
namespace {

using Legs = std::array<double, 4>;  // index 0 unused, as the programs hold them

TEST(ReducedLegs, EachLegTakesItsEndsFromTheFirstPass) {
    const DistanceReduction scale = *distance_reduction(ReductionMode::scale, 9, 0, 0);
    const DistanceReduction height = *distance_reduction(ReductionMode::height_scale, 9, 1000, 40);
    struct Row {
        const char* what;
        const DistanceReduction& reduction;
        bool radial;
        double y_start;
        Legs azimuths, ground, factor, plane;
    };
    const Row rows[] = {
        // Along Y = 100 km: the published s/S = 1.000023178 on every leg.
        {"north", scale, false, 100000, {0, 0, 0, 0}, {0, 1000, 1000, 0}, {0, 1.0000231776, 1.0000231776, 0},
         {0, 1000.023, 1000.023, 0}},
        // East: the second leg starts where the first pass ended (100999.9 m).
        {"east", scale, false, 100000, {0, 90, 90, 0}, {0, 1000, 1000, 0}, {0, 1.0000244133, 1.0000269013, 0},
         {0, 1000.024, 1000.027, 0}},
        // Radially every shot starts at the instrument point.
        {"radial", scale, true, 100000, {0, 270, 90, 90}, {0, 1000, 1000, 1000},
         {0, 1.0000219500, 1.0000244133, 1.0000244133}, {0, 1000.022, 1000.024, 1000.024}},
        // The first pass runs S·m₀ (999.83676 m at H̄ 1000, N̄ 40); west along 30°.
        {"height", height, false, 100000, {0, 90, 0, 0}, {0, 1000, 0, 0}, {0, 1.0000244131, 0, 0}, {0, 999.861, 0, 0}},
        {"west", scale, false, -50000, {0, 30, 0, 0}, {0, 500, 0, 0}, {0, 0.9999306407, 0, 0}, {0, 499.965, 0, 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::array<ReducedLeg, 4> legs{};
        int last = 3;
        while (r.ground[std::size_t(last)] == 0) --last;
        (r.radial ? reduce_radial_legs : reduce_chain_legs)(r.reduction, r.y_start, r.azimuths, r.ground, legs, 1, last);
        for (int i = 1; i <= last; ++i) {
            EXPECT_NEAR(legs[std::size_t(i)].line_factor, r.factor[std::size_t(i)], 0.5e-10) << i;
            EXPECT_EQ(legs[std::size_t(i)].plane, r.plane[std::size_t(i)]) << i;
        }
    }
    // なし: as typed, unrounded, factor 1.
    std::array<ReducedLeg, 4> legs{};
    reduce_chain_legs(DistanceReduction{}, 100000, Legs{0, 90, 0, 0}, Legs{0, 123.45678, 0, 0}, legs, 1, 1);
    EXPECT_EQ(legs[1].plane, 123.45678);
    EXPECT_EQ(legs[1].line_factor, 1);
}

}  // namespace
}  // namespace marula
