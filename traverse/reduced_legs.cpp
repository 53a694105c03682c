#include "traverse/reduced_legs.h"

#include <cmath>

#include "survey/plane_zones.h"
#include "survey/survey.h"

namespace marula {

namespace {

// The first pass's length of a leg: S × m₀.
double first_pass_length(double ground, const DistanceReduction& r) {
    const double s = r.mode == ReductionMode::height_scale ? ellipsoid_distance(ground, r.mean_height, r.geoid_height)
                                                           : ground;
    return s * kPlaneCentralScale;
}

// The first pass's Y of the far end of a leg from Y `y_from`.
double far_end_y(double y_from, double azimuth, double ground, const DistanceReduction& r) {
    return y_from + first_pass_length(ground, r) * std::sin(radians(azimuth));
}

}  // namespace

void reduce_chain_legs(const DistanceReduction& reduction, double y_start, std::span<const double> azimuths,
                       std::span<const double> ground, std::span<ReducedLeg> legs, int first, int last) {
    double y = y_start;
    for (int i = first; i <= last; ++i) {
        const double y_end = far_end_y(y, azimuths[i], ground[i], reduction);
        legs[i] = reduce_leg(ground[i], reduction, y, y_end);
        y = y_end;
    }
}

void reduce_radial_legs(const DistanceReduction& reduction, double y_start, std::span<const double> azimuths,
                        std::span<const double> ground, std::span<ReducedLeg> legs, int first, int last) {
    for (int i = first; i <= last; ++i)
        legs[i] = reduce_leg(ground[i], reduction, y_start, far_end_y(y_start, azimuths[i], ground[i], reduction));
}

void plane_distances(std::span<const ReducedLeg> legs, std::span<double> plane, int first, int last) {
    for (int i = first; i <= last; ++i) plane[i] = legs[i].plane;
}

}  // namespace marula
