#include "survey/parcel_area.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marula {
namespace {

// Each row an edge of the cut: the value taken is the one printed to 6
// decimals, never the unrounded area.
TEST(LandArea, CutFromTheAreaAsPrinted) {
    struct Row { double area; double printed, residential, other; int other_decimals; };
    const Row rows[] = {
        {1566.539999, 1566.539999, 1566.53, 1566, 0},
        {-1566.539999, 1566.539999, 1566.53, 1566, 0},      // clockwise: the sign goes
        {1566.5399996, 1566.54, 1566.54, 1566, 0},          // printed 1566.540000
        {1566.5399994, 1566.539999, 1566.53, 1566, 0},
        {10.000000, 10, 10, 10, 2},                         // 10 m² or less: to 0.01
        {10.0000004, 10, 10, 10, 2},                        // printed 10.000000
        {10.000001, 10.000001, 10, 10, 0},                  // over 10 m²: whole m²
        {9.999999, 9.999999, 9.99, 9.99, 2},
        {9.9999996, 10, 10, 10, 2},                         // printed 10.000000
        {0.0000004, 0, 0, 0, 2},
        {123456789.999999, 123456789.999999, 123456789.99, 123456789, 0},
    };
    for (const Row& r : rows) {
        const std::optional<LandArea> a = land_area(r.area);
        ASSERT_TRUE(a) << r.area;
        EXPECT_EQ(a->printed, r.printed) << r.area;
        EXPECT_EQ(a->residential, r.residential) << r.area;
        EXPECT_EQ(a->other, r.other) << r.area;
        EXPECT_EQ(a->other_decimals, r.other_decimals) << r.area;
    }
    EXPECT_FALSE(land_area(std::nan("")) || land_area(-HUGE_VAL) || land_area(1e12));
}

TEST(LandArea, TheSheetLine) {
    EXPECT_EQ(land_area_line(*land_area(-1566.539999)), "地積　1566.53㎡（宅地）　1566㎡（宅地以外）");
    EXPECT_EQ(land_area_line(*land_area(9.999999)), "地積　9.99㎡（宅地）　9.99㎡（宅地以外）");
    EXPECT_EQ(land_area_line(*land_area(10.000001)), "地積　10.00㎡（宅地）　10㎡（宅地以外）");
}

}  // namespace
}  // namespace marula
