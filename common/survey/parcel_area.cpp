#include "survey/parcel_area.h"

#include <cmath>
#include <cstdio>

#include "base/format.h"

namespace marula {
namespace {

constexpr long long kMicroPerSquareMetre = 1'000'000;
constexpr long long kMicroPerHundredth = 10'000;
// Up to this the area counts to 0.01 m² as other land too.
constexpr long long kSmallParcelMicro = 10 * kMicroPerSquareMetre;

// The printed area in millionths of a m², read back from the text PRINT
// USING writes: the same rounding as the sheet by construction.
long long printed_micro(double magnitude) {
    const std::string text = format_using("#############.######", {magnitude});
    long long micro = 0;
    for (char c : text)
        if (c >= '0' && c <= '9') micro = micro * 10 + (c - '0');
    return micro;
}

}  // namespace

std::optional<LandArea> land_area(double signed_area_m2) {
    const double magnitude = std::fabs(signed_area_m2);
    // 10¹² m² is 10¹⁸ millionths, still well inside a long long.
    if (!(magnitude < 1e12)) return std::nullopt;
    const long long micro = printed_micro(magnitude);
    LandArea r;
    // Whole counts below 2^53 divided once: the nearest double to the
    // decimal, which %.2f or %.6f writes back exactly.
    r.printed = static_cast<double>(micro) / kMicroPerSquareMetre;
    r.residential = static_cast<double>(micro / kMicroPerHundredth) / 100;
    if (micro > kSmallParcelMicro) {
        r.other = static_cast<double>(micro / kMicroPerSquareMetre);
        r.other_decimals = 0;
    } else {
        r.other = r.residential;
        r.other_decimals = 2;
    }
    return r;
}

std::string land_area_line(const LandArea& area) {
    char residential[48], other[48];
    std::snprintf(residential, sizeof residential, "%.2f", area.residential);
    std::snprintf(other, sizeof other, "%.*f", area.other_decimals, area.other);
    return std::string("地積　") + residential + "㎡（宅地）　" + other + "㎡（宅地以外）";
}

}  // namespace marula
