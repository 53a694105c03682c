#include "survey/tolerance.h"

#include <cmath>
#include <cstdio>

#include "survey/survey.h"

namespace marula {
namespace {

// What each class stands for: its names and its coefficients. A public
// class's allowed closure is base + per_leg·√N·ΣS connecting and
// closed·√N·ΣS closed; a cadastral class's tolerance is a + b·√S for a
// distance and (area_a + b·⁴√F)·√F for an area.
struct ClassRow {
    ToleranceClass c;
    const char* name;
    const char* label;
    double base, per_leg, closed;      // public survey, mm
    double a, b, area_a;               // cadastral, m and m²
};

constexpr ClassRow kRows[] = {
    {ToleranceClass::none, "none", "なし", 0, 0, 0, 0, 0, 0},
    {ToleranceClass::public1, "1", "公共測量１級", 100, 20, 10, 0, 0, 0},
    {ToleranceClass::public2, "2", "公共測量２級", 100, 30, 15, 0, 0, 0},
    {ToleranceClass::public3, "3", "公共測量３級", 150, 50, 25, 0, 0, 0},
    {ToleranceClass::public4, "4", "公共測量４級", 150, 100, 50, 0, 0, 0},
    {ToleranceClass::cadastral_ko1, "甲一", "地籍甲一", 0, 0, 0, 0.020, 0.003, 0.025},
    {ToleranceClass::cadastral_ko2, "甲二", "地籍甲二", 0, 0, 0, 0.04, 0.01, 0.05},
    {ToleranceClass::cadastral_ko3, "甲三", "地籍甲三", 0, 0, 0, 0.08, 0.02, 0.10},
    {ToleranceClass::cadastral_otsu1, "乙一", "地籍乙一", 0, 0, 0, 0.13, 0.04, 0.10},
    {ToleranceClass::cadastral_otsu2, "乙二", "地籍乙二", 0, 0, 0, 0.25, 0.07, 0.25},
    {ToleranceClass::cadastral_otsu3, "乙三", "地籍乙三", 0, 0, 0, 0.50, 0.14, 0.50},
};

const ClassRow& row_of(ToleranceClass c) {
    for (const ClassRow& r : kRows)
        if (r.c == c) return r;
    return kRows[0];
}

}  // namespace

std::string_view tolerance_class_name(ToleranceClass c) { return row_of(c).name; }

std::optional<ToleranceClass> parse_tolerance_class(std::string_view name) {
    for (const ClassRow& r : kRows)
        if (name == r.name) return r.c;
    return std::nullopt;
}

std::string_view tolerance_class_label(ToleranceClass c) { return row_of(c).label; }

bool is_public_survey(ToleranceClass c) {
    return c == ToleranceClass::public1 || c == ToleranceClass::public2 || c == ToleranceClass::public3 ||
           c == ToleranceClass::public4;
}

bool is_cadastral(ToleranceClass c) { return c != ToleranceClass::none && !is_public_survey(c); }

std::optional<double> closure_limit_mm(ToleranceClass c, TraverseShape shape, int legs, double route_km) {
    if (!is_public_survey(c) || legs < 1 || !(route_km >= 0) || !std::isfinite(route_km)) return std::nullopt;
    const ClassRow& r = row_of(c);
    const double root_n = std::sqrt(static_cast<double>(legs));
    if (shape == TraverseShape::connecting) return r.base + r.per_leg * root_n * route_km;
    return r.closed * root_n * route_km;
}

std::optional<ClosureVerdict> judge_closure(ToleranceClass c, TraverseShape shape, int legs, double route_km,
                                            double closure_m) {
    const std::optional<double> limit = closure_limit_mm(c, shape, legs, route_km);
    if (!limit || !(closure_m >= 0) || !std::isfinite(closure_m)) return std::nullopt;
    ClosureVerdict v;
    v.tolerance_class = c;
    // Half up: the limit is never negative.
    v.allowed_mm = std::floor(*limit + 0.5);
    v.closure_mm = whole_mm(closure_m);
    v.good = v.closure_mm <= v.allowed_mm;
    return v;
}

std::string verdict_line(const ClosureVerdict& v) {
    // Whole millimetres below 2^53 divided by 1000: %.3f writes back the
    // same three digits.
    char allowed[32], closure[32];
    std::snprintf(allowed, sizeof allowed, "%.3f", v.allowed_mm / 1000);
    std::snprintf(closure, sizeof closure, "%.3f", v.closure_mm / 1000);
    return std::string("許容範囲（") + std::string(tolerance_class_label(v.tolerance_class)) + "）　" + allowed +
           " m　位置の閉合差　" + closure + " m　" + (v.good ? "良" : "否");
}

std::optional<double> distance_tolerance_m(ToleranceClass c, double distance_m) {
    if (!is_cadastral(c) || !(distance_m >= 0) || !std::isfinite(distance_m)) return std::nullopt;
    const ClassRow& r = row_of(c);
    return r.a + r.b * std::sqrt(distance_m);
}

std::optional<double> area_tolerance_m2(ToleranceClass c, double area_m2) {
    if (!is_cadastral(c) || !std::isfinite(area_m2)) return std::nullopt;
    const ClassRow& r = row_of(c);
    const double f = std::fabs(area_m2);
    return (r.area_a + r.b * std::sqrt(std::sqrt(f))) * std::sqrt(f);
}

}  // namespace marula
