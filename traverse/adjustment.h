// Traverse adjustment shared by the connecting and the closed traverse:
// the angular misclosure in whole seconds spread over the angles, the
// linear misclosure and precision ratio, and the compass rule that spreads
// the coordinate misclosure over the legs in whole millimetres.
//
// Pure functions, no I/O. Angles in degrees, misclosures in the units each
// comment names. The widths follow the traverse's own arithmetic: the
// millimetre misclosures, the distance total and the running length are
// singles, everything else double.
#pragma once

#include <span>
#include <vector>

namespace marula {

// A misclosure w in degrees in whole seconds: FIX(w·3600), and for w > 0
// FIX(w·3600 + 0.1) with the single 0.1, so a positive misclosure that
// falls a hair short of a whole second still counts it.
double misclosure_seconds(double w);

// One angle's share of the angular misclosure.
struct AngleCorrection {
    double seconds = 0;  // whole seconds
    double degrees = 0;  // seconds / 3600 + e
};

// The nudge e of the distribution: the connecting traverse uses 1e-7, the
// closed traverse 1e-6 (both doubles).
inline constexpr double kLinkShareNudge = 1e-7;
inline constexpr double kLoopShareNudge = 1e-6;

// Spreads W whole seconds over `count` angles by cumulative rounding:
// t = W / count; with e and h = 0.5 (−e and −0.5 when t < 0),
// r_i = FIX(t·i + e + e + h) and correction i = FIX(r_i − r_(i−1) + e).
// The corrections sum to W and differ by at most one second: W = 10 over 3
// gives 3, 4, 3; W = 5 over 4 gives 1, 2, 1, 1. count < 1 gives none.
std::vector<AngleCorrection> distribute_angle_misclosure(double w_seconds, int count, double e);

// The linear misclosure in metres, FIX(√(fX² + fY²) + half)/1000 from
// millimetre misclosures, with half the single 0.501 (connecting) or
// 0.50001 (closed traverse). Zero when both round to nothing.
double linear_misclosure(float fx_mm, float fy_mm, double half);
inline constexpr double kLinkLinearHalf = double(0.501f);

// The precision denominator N of 1 : N, FIX(L / f + 0.50001). A zero f is
// replaced by the single 1e-9 first, so the result is finite but far wider
// than any field; callers show such a ratio as unbounded.
double precision_denominator(float total_m, double linear_m);

// The compass rule for one axis: the misclosure f (mm) spread over the legs
// in proportion to the running length, in whole millimetres, opposing f.
// Rate k = |f| / L; running length ℓ (single); for legs 1 … n−1
// R_i = FIX(ℓ·k + 1e-5 + 0.5), correction i = R_i − R_(i−1); the last leg
// takes FIX(|f| − R_(n−1) + 1e-4); all negated when f > 0. Legs of 100,
// 200 and 100 m with f = +7 give −2, −3, −2. A total L of 0 spreads
// nothing by length: the last leg takes all of it. No legs: none.
std::vector<double> compass_corrections(std::span<const double> distances, float misclosure_mm, float total_m);

// One leg of an adjusted traverse: resolved along its adjusted azimuth and
// corrected by the compass rule. What the report prints of it and what
// places its far station.
struct AdjustedLeg {
    double cos = 0, sin = 0;                    // of the azimuth
    double dx = 0, dy = 0;                      // distance·cos, distance·sin to the millimetre (round_mm)
    double x_correction = 0, y_correction = 0;  // compass corrections, whole millimetres
};

// Coordinate sums of the legs in whole millimetres (singles, as summed).
struct LegSums {
    float x_mm = 0, y_mm = 0;
};

// Legs 1 … n resolved from their azimuths (degrees) and distances (metres);
// index 0 of all three is station 0 and is left alone. Each leg's
// differences go into the sums in whole millimetres (whole_mm), added in
// order as singles.
LegSums resolve_legs(std::span<const double> azimuths, std::span<const double> distances,
                     std::span<AdjustedLeg> legs, int n);

// The compass rule on both axes over legs 1 … n (see compass_corrections):
// misclosures in millimetres, the distance total in metres.
void spread_misclosure(std::span<const double> distances, std::span<AdjustedLeg> legs, int n, float fx_mm,
                       float fy_mm, float total_m);

// Stations 1 … last placed from station 0 by running sums of the legs'
// rounded differences and corrections (mm / 1000), each with the single
// 1e-6 laid on.
void place_stations(std::span<double> x, std::span<double> y, std::span<const AdjustedLeg> legs, int last);

}  // namespace marula
