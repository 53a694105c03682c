// Tolerance classes (精度区分) and what they allow: the position closure
// of a traverse under the public-survey classes, and the distance and area
// tolerances of the cadastral classes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marula {

enum class ToleranceClass {
    none,
    // Public survey (公共測量) 1級 … 4級.
    public1,
    public2,
    public3,
    public4,
    // Cadastral survey (地籍) 甲一 … 乙三.
    cadastral_ko1,
    cadastral_ko2,
    cadastral_ko3,
    cadastral_otsu1,
    cadastral_otsu2,
    cadastral_otsu3,
};

// Every class in the order the settings screen lists them.
inline constexpr ToleranceClass kToleranceClasses[] = {
    ToleranceClass::none,          ToleranceClass::public1,         ToleranceClass::public2,
    ToleranceClass::public3,       ToleranceClass::public4,         ToleranceClass::cadastral_ko1,
    ToleranceClass::cadastral_ko2, ToleranceClass::cadastral_ko3,   ToleranceClass::cadastral_otsu1,
    ToleranceClass::cadastral_otsu2, ToleranceClass::cadastral_otsu3,
};

// The class as the settings command prints and takes it: "none", "1" …
// "4", "甲一" … "乙三".
std::string_view tolerance_class_name(ToleranceClass c);
std::optional<ToleranceClass> parse_tolerance_class(std::string_view name);

// The class as screens and sheets name it: "なし", "公共測量１級" …
// "公共測量４級" (full-width digit), "地籍甲一" … "地籍乙三".
std::string_view tolerance_class_label(ToleranceClass c);

bool is_public_survey(ToleranceClass c);
bool is_cadastral(ToleranceClass c);

// The two traverses that are judged: 結合 (connecting) and 閉合 (closed).
enum class TraverseShape { connecting, closed };

// The allowed horizontal position closure in millimetres, not rounded,
// for N legs and a route of ΣS km:
//   class  connecting          closed
//   1級    100 + 20·√N·ΣS      10·√N·ΣS
//   2級    100 + 30·√N·ΣS      15·√N·ΣS
//   3級    150 + 50·√N·ΣS      25·√N·ΣS
//   4級    150 + 100·√N·ΣS     50·√N·ΣS
// Nothing for a class that is not a public-survey class, fewer than one
// leg, or a route length that is negative or not finite.
std::optional<double> closure_limit_mm(ToleranceClass c, TraverseShape shape, int legs, double route_km);

// A judged closure. Both lengths in whole millimetres.
struct ClosureVerdict {
    ToleranceClass tolerance_class = ToleranceClass::none;
    double allowed_mm = 0;  // closure_limit_mm rounded half up
    double closure_mm = 0;  // the position closure rounded half away from zero
    bool good = false;      // closure_mm ≤ allowed_mm: 良, else 否
};

// The verdict on a position closure √(εX² + εY²) of `closure_m` metres.
// Nothing where closure_limit_mm gives nothing, or for a closure that is
// negative or not finite.
std::optional<ClosureVerdict> judge_closure(ToleranceClass c, TraverseShape shape, int legs, double route_km,
                                            double closure_m);

// The verdict line of a screen or sheet, full-width blanks between its
// parts: "許容範囲（公共測量３級）　0.206 m　位置の閉合差　0.011 m　良".
std::string verdict_line(const ClosureVerdict& v);

// The cadastral tolerance of a distance between boundary points
// (筆界点間距離), in metres, not rounded, for a distance of S metres:
//   甲一 0.020 + 0.003·√S   甲二 0.04 + 0.01·√S   甲三 0.08 + 0.02·√S
//   乙一 0.13 + 0.04·√S     乙二 0.25 + 0.07·√S   乙三 0.50 + 0.14·√S
// Nothing for a class that is not cadastral, or S negative or not finite.
std::optional<double> distance_tolerance_m(ToleranceClass c, double distance_m);

// The cadastral tolerance of an area (地積) of F m², in m², not rounded:
// (a + b·⁴√F)·√F with
//   甲一 0.025, 0.003   甲二 0.05, 0.01   甲三 0.10, 0.02
//   乙一 0.10, 0.04     乙二 0.25, 0.07   乙三 0.50, 0.14.
// The sign of F is ignored (a parcel listed clockwise has a negative signed
// area). Nothing for a class that is not cadastral, or F not finite.
std::optional<double> area_tolerance_m2(ToleranceClass c, double area_m2);

}  // namespace marula
