// The arithmetic of the traverses that are not adjusted: the open traverse
// (each point a station for the next) and the radial traverse (every point
// from the one instrument point). Pure functions, no I/O; angles in decimal
// degrees, lengths in metres. Coordinates stay unrounded; only the display
// cuts them to the millimetre.
#pragma once

#include "survey/survey.h"

namespace marula {

// The azimuth of the open traverse's leg into the next point.
// First leg: the backsight azimuth (instrument point to backsight) plus the
// included angle, nothing subtracted; later legs: the previous leg's
// azimuth plus the angle less 180. Then one step of wrap each way, and an
// unusual angle (negative, or 360 or more) that still leaves the sum out of
// range is brought into [0, 360) too. The single 1e-8 is added last: it is
// stored and carried into the next leg, so every display split sits just
// above its whole second.
double open_leg_azimuth(double previous, double angle, bool first_leg);

// The azimuth of a radial shot: backsight azimuth plus the included angle,
// less 360 once when the sum reaches 360; a sum that an unusual angle
// leaves outside [0, 360) is brought into range. No nudge.
double radial_azimuth(double backsight, double angle);

// The components of a leg of `distance` metres along `azimuth` degrees:
// ΔX = d·cos(a·(π/180)), ΔY = d·sin(a·(π/180)) with π/180 formed first.
struct LegOffset {
    double dx = 0;
    double dy = 0;
};
LegOffset leg_offset(double distance, double azimuth);

}  // namespace marula
