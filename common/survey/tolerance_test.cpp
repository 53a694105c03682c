#include "survey/tolerance.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marula {
namespace {

using TC = ToleranceClass;

TEST(Tolerance, NamesAndLabels) {
    for (TC c : kToleranceClasses) EXPECT_EQ(parse_tolerance_class(tolerance_class_name(c)), c);
    EXPECT_EQ(tolerance_class_name(TC::cadastral_otsu1), "乙一");
    EXPECT_EQ(tolerance_class_label(TC::public3), "公共測量３級");
    for (const char* bad : {"", "5", "甲四", "3級", "None"}) EXPECT_FALSE(parse_tolerance_class(bad)) << bad;
    EXPECT_TRUE(is_public_survey(TC::public4) && is_cadastral(TC::cadastral_otsu3));
    EXPECT_FALSE(is_cadastral(TC::public4) || is_cadastral(TC::none) || is_public_survey(TC::none));
}

// Each class on either side of its limit rounded half up to the mm, and of
// the closure's own rounding. N = 5 legs over 0.5 km: 122.4, 133.5, 205.9
// and 261.8 mm connecting.
TEST(Tolerance, PositionClosureVerdicts) {
    struct Row { TC c; TraverseShape shape; int legs; double km, limit_mm, allowed_mm, closure_m; bool good; };
    const TraverseShape link = TraverseShape::connecting, loop = TraverseShape::closed;
    const Row rows[] = {
        {TC::public1, link, 5, 0.5, 122.36, 122, 0.122, true}, {TC::public1, link, 5, 0.5, 122.36, 122, 0.1225001, false},
        {TC::public2, link, 5, 0.5, 133.54, 134, 0.134, true}, {TC::public2, link, 5, 0.5, 133.54, 134, 0.135, false},
        {TC::public3, link, 5, 0.5, 205.90, 206, 0.2064999, true}, {TC::public3, link, 5, 0.5, 205.90, 206, 0.207, false},
        {TC::public4, link, 5, 0.5, 261.80, 262, 0.262, true}, {TC::public4, link, 5, 0.5, 261.80, 262, 0.263, false},
        {TC::public1, loop, 4, 1, 20, 20, 0.020, true},        {TC::public1, loop, 4, 1, 20, 20, 0.021, false},
        {TC::public2, loop, 4, 1, 30, 30, 0.0304, true},       {TC::public2, loop, 4, 1, 30, 30, 0.0306, false},
        {TC::public3, loop, 5, 0.5, 27.95, 28, 0.028, true},   {TC::public3, loop, 5, 0.5, 27.95, 28, 0.029, false},
        {TC::public4, loop, 5, 0.5, 55.90, 56, 0.056, true},   {TC::public4, loop, 5, 0.5, 55.90, 56, 0.057, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << tolerance_class_label(r.c) << " closure " << r.closure_m);
        EXPECT_NEAR(*closure_limit_mm(r.c, r.shape, r.legs, r.km), r.limit_mm, 0.005);
        const std::optional<ClosureVerdict> v = judge_closure(r.c, r.shape, r.legs, r.km, r.closure_m);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->allowed_mm, r.allowed_mm);
        EXPECT_EQ(v->good, r.good);
    }
    EXPECT_EQ(verdict_line(*judge_closure(TC::public3, link, 5, 0.5, 0.011)),
              "許容範囲（公共測量３級）　0.206 m　位置の閉合差　0.011 m　良");
    EXPECT_EQ(verdict_line(*judge_closure(TC::public1, link, 5, 0.5, 0.1225001)),
              "許容範囲（公共測量１級）　0.122 m　位置の閉合差　0.123 m　否");
    // No verdict without a public class, or for nonsense.
    EXPECT_FALSE(judge_closure(TC::none, link, 5, 0.5, 0.01) || judge_closure(TC::cadastral_ko1, link, 5, 0.5, 0.01));
    EXPECT_FALSE(judge_closure(TC::public1, link, 0, 0.5, 0.01) || judge_closure(TC::public1, link, 5, -0.1, 0.01));
    EXPECT_FALSE(judge_closure(TC::public1, link, 5, 0.5, std::nan("")) ||
                 judge_closure(TC::public1, loop, 5, HUGE_VAL, 0.01));
}

// S = 124.999 m and F = 300 m² in every cadastral class (published:
// 甲二 0.1518 m and 1.5869 m², 乙一 0.5772 m, 乙三 2.0652 m).
TEST(Tolerance, CadastralDistanceAndArea) {
    struct Row { TC c; double distance_m, area_m2; };
    const Row rows[] = {
        {TC::cadastral_ko1, 0.0535, 0.6493},   {TC::cadastral_ko2, 0.1518, 1.5869},
        {TC::cadastral_ko3, 0.3036, 3.1737},   {TC::cadastral_otsu1, 0.5772, 4.6154},
        {TC::cadastral_otsu2, 1.0326, 9.3760}, {TC::cadastral_otsu3, 2.0652, 18.7521},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(tolerance_class_label(r.c));
        EXPECT_NEAR(*distance_tolerance_m(r.c, 124.999), r.distance_m, 0.5e-4);
        EXPECT_NEAR(*area_tolerance_m2(r.c, 300), r.area_m2, 0.5e-4);
        EXPECT_EQ(*area_tolerance_m2(r.c, -300), *area_tolerance_m2(r.c, 300)) << "clockwise parcels";
        EXPECT_FALSE(distance_tolerance_m(r.c, -1) || area_tolerance_m2(r.c, std::nan("")));
    }
    EXPECT_FALSE(distance_tolerance_m(TC::public1, 100) || area_tolerance_m2(TC::none, 100));
    EXPECT_FALSE(closure_limit_mm(TC::cadastral_ko2, TraverseShape::closed, 5, 0.5));
}

}  // namespace
}  // namespace marula
