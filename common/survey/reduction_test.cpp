#include "survey/reduction.h"

#include <gtest/gtest.h>

#include <cmath>

#include "survey/survey.h"

namespace marula {
namespace {

TEST(Reduction, KnownVectors) {
    // 250 m, H̄ 200, N̄ 30: S = 249.991; with a factor of 0.9999 s = 249.966.
    const DistanceReduction hs = *distance_reduction(ReductionMode::height_scale, 9, 200, 30);
    EXPECT_EQ(round_mm(ellipsoid_distance(250, 200, 30)), 249.991);
    EXPECT_EQ(line_scale_factor(0, 0, hs.mean_radius), 0.9999);
    EXPECT_EQ(reduce_leg(250, hs, 0, 0).plane, 249.966);
    EXPECT_NEAR(ellipsoid_distance(79.2833096, 63, 0), 79.28252549, 0.5e-8);
    // Zone 9, a leg from (0, 100000) to (1000, 100000): s/S = 1.000023178.
    EXPECT_NEAR(line_scale_factor(100000, 100000, hs.mean_radius), 1.000023178, 0.5e-9);
    // Zone 9 at Y ≈ −20.8 km, 42 m up, geoid 37 m: plane scale 0.99990533
    // and height factor 0.99998760 shorten 504 m by 54 mm.
    const DistanceReduction site = *distance_reduction(ReductionMode::height_scale, 9, 42, 37);
    EXPECT_NEAR(line_scale_factor(-20800, -20800, site.mean_radius), 0.99990533, 0.5e-8);
    EXPECT_NEAR(ellipsoid_distance(1, 42, 37), 0.99998760, 0.5e-8);
    EXPECT_EQ(reduce_leg(504, site, -20800, -20800).plane, 503.946);
    // R₀ in closed form at the equator and the pole: a√(1 − e²), a/√(1 − e²).
    const double f = 1 / 298.257222101, e2 = f * (2 - f);
    EXPECT_NEAR(mean_radius_of_curvature(0), 6378137 * std::sqrt(1 - e2), 1e-6);
    EXPECT_NEAR(mean_radius_of_curvature(90), 6378137 / std::sqrt(1 - e2), 1e-6);
}

// The three modes on one leg 90-110 km east (factor 1.000023588 worked
// apart), and the inverse giving the ground distance back within the mm
// rounding of s.
TEST(Reduction, ModesAndTheirInverse) {
    struct Row { ReductionMode mode; double ground, plane; };
    const Row rows[] = {
        {ReductionMode::none, 123.4567891, 123.4567891},  // as typed, not rounded
        {ReductionMode::scale, 1000, 1000.024},
        {ReductionMode::height_scale, 1000, 999.860},  // H̄ 1000, N̄ 40
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(reduction_mode_name(r.mode));
        const DistanceReduction reduction = *distance_reduction(r.mode, 9, 1000, 40);
        const ReducedLeg leg = reduce_leg(r.ground, reduction, 90000, 110000);
        EXPECT_EQ(leg.plane, r.plane);
        EXPECT_EQ(reduce_leg(r.ground, reduction, 110000, 90000).plane, leg.plane);
        EXPECT_NEAR(ground_distance(leg.plane, reduction, 90000, 110000), r.ground, 0.0005 * 1.0002);
        if (r.mode != ReductionMode::none) {
            EXPECT_NEAR(leg.line_factor, 1.000023588, 0.5e-9);
        }
    }
}

TEST(Reduction, SettingsNamesAndRanges) {
    for (ReductionMode m : {ReductionMode::none, ReductionMode::scale, ReductionMode::height_scale})
        EXPECT_EQ(parse_reduction_mode(reduction_mode_name(m)), m);
    EXPECT_EQ(reduction_mode_label(ReductionMode::height_scale), "標高・縮尺補正");
    EXPECT_FALSE(parse_reduction_mode("Scale") || parse_reduction_mode(""));
    // Reduction needs the job's zone; H̄ −1000 … 9000, N̄ −200 … 200.
    const ReductionMode hs = ReductionMode::height_scale;
    EXPECT_TRUE(distance_reduction(ReductionMode::none, 0, 0, 0));
    EXPECT_FALSE(distance_reduction(ReductionMode::scale, 0, 0, 0) || distance_reduction(hs, 20, 0, 0));
    EXPECT_TRUE(distance_reduction(hs, 9, -1000, -200) && distance_reduction(hs, 9, 9000, 200));
    EXPECT_FALSE(distance_reduction(hs, 9, 9000.001, 0) || distance_reduction(hs, 9, 0, -200.001));
    EXPECT_FALSE(distance_reduction(hs, 9, std::nan(""), 0) || distance_reduction(hs, 9, 0, HUGE_VAL));
}

}  // namespace
}  // namespace marula
