#include "survey/stake_out.h"

namespace marula {

std::optional<StakeOutAngles> stake_out_angles(const Point& station, const Point& backsight, const Point& target) {
    // azimuth_degrees_between converts with the suite's π, like the inverse
    // programs: a station-to-point azimuth here is then to the bit the one
    // they show for the same two points, and the sheets agree.
    const std::optional<double> to_target = azimuth_degrees_between(station.x, station.y, target.x, target.y);
    const std::optional<double> to_backsight =
        azimuth_degrees_between(station.x, station.y, backsight.x, backsight.y);
    if (!to_target || !to_backsight) return std::nullopt;
    // The difference of two azimuths in [0, 360) lies within a turn of the
    // range; seconds_in_turn brings it in before rounding.
    return StakeOutAngles{seconds_in_turn(*to_target), seconds_in_turn(*to_target - *to_backsight)};
}

}  // namespace marula
