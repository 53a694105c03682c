// The angles of setting out a point from a station with a backsight.
#pragma once

#include <optional>

#include "survey/survey.h"

namespace marula {

// Both angles in whole seconds of arc, 0 … 1 295 999 (dms_of_seconds
// splits them for display).
struct StakeOutAngles {
    // 方向角: the grid azimuth from the station to the point.
    long azimuth_seconds = 0;
    // 夾角: the angle turned clockwise from the backsight to the point.
    long included_seconds = 0;
};

// The azimuth to the target and the angle from the backsight, both taken
// from the unrounded azimuths (atan2, in degrees with the suite's π): the
// included angle is the azimuth to the target less the azimuth to the
// backsight, brought into [0°, 360°). Each is then rounded half up to the
// whole second, a whole turn giving 0. Since each is rounded on its own, an
// included angle can differ by 1″ from the difference of the rounded
// azimuths. Nothing when the target or the backsight stands on the station
// to the millimetre (no direction), or for input that is not finite.
std::optional<StakeOutAngles> stake_out_angles(const Point& station, const Point& backsight, const Point& target);

}  // namespace marula
