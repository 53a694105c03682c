// 地積: the area of a parcel as it is registered, cut from the area as the
// sheet prints it.
#pragma once

#include <optional>
#include <string>

namespace marula {

// The registered area of a parcel, every value in m².
struct LandArea {
    // The absolute area as printed to 6 decimals (rounded half away from
    // zero on the exact binary value, as PRINT USING rounds), so every cut
    // below agrees with the figure the sheet shows above it.
    double printed = 0;
    // 宅地 (building land, also 鉱泉地): the printed area truncated to 0.01.
    double residential = 0;
    // Other land: truncated to whole m² when the printed area is over 10
    // m², to 0.01 m² when it is 10 m² or less.
    double other = 0;
    // Decimals `other` is written with: 0 or 2.
    int other_decimals = 0;
};

// The 地積 of a signed area in m² (its sign, which only tells the order of
// the vertices, is dropped). 1566.539999 gives 1566.53 and 1566; 10.0000004
// prints as 10.000000 and so counts as 10 m² or less (10.00); 10.000001
// gives 10. Nothing for an area not finite or of 10¹² m² or more.
std::optional<LandArea> land_area(double signed_area_m2);

// The sheet's line: "地積　1566.53㎡（宅地）　1566㎡（宅地以外）".
std::string land_area_line(const LandArea& area);

}  // namespace marula
