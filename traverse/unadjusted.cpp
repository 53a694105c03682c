#include "unadjusted.h"

#include <cmath>

#include "survey/survey.h"

namespace marula {

double open_leg_azimuth(double previous, double angle, bool first_leg) {
    double a = first_leg ? previous + angle : previous + angle - 180;
    return azimuth_in_turn(wrap_azimuth(a)) + kNudge1e8;
}

double radial_azimuth(double backsight, double angle) {
    return azimuth_in_turn(wrap_azimuth_upper(backsight + angle));
}

LegOffset leg_offset(double distance, double azimuth) {
    double rad = radians(azimuth);
    return {distance * std::cos(rad), distance * std::sin(rad)};
}

}  // namespace marula
