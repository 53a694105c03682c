// Typed distances of a traverse brought onto the plane of the job's zone.
//
// A leg's line scale factor wants the plane Y of both its ends, and those
// are known only once the traverse is computed. So a first pass places the
// stations with each leg's ellipsoid distance S times m₀ along the
// azimuths as measured (no angle adjustment, no closure spread); each leg
// takes its two ends' Y from that pass, and its plane distance s, rounded
// to the millimetre, is then used exactly as a typed distance would be. A
// reduced run so gives the same result as the same run with every s typed
// by hand. The first pass is off by the reduction itself (a few cm a
// kilometre), which moves a factor by far less than 1e-9.
//
// Pure functions, no I/O. Arrays are indexed by leg, as the programs hold
// them: leg i of azimuths[i] (degrees) and ground[i] (metres); index 0 and
// any beyond `last` are left alone.
#pragma once

#include <span>

#include "survey/reduction.h"

namespace marula {

// Legs first … last of a chain, each from the station before: station
// first−1 stands at plane Y `y_start`, leg i runs along azimuths[i]. With
// reduction mode none every leg is its ground distance, unrounded.
void reduce_chain_legs(const DistanceReduction& reduction, double y_start, std::span<const double> azimuths,
                       std::span<const double> ground, std::span<ReducedLeg> legs, int first, int last);

// Legs first … last of a radial traverse, every one from the instrument
// point at plane Y `y_start`.
void reduce_radial_legs(const DistanceReduction& reduction, double y_start, std::span<const double> azimuths,
                        std::span<const double> ground, std::span<ReducedLeg> legs, int first, int last);

// legs[first … last].plane into `plane` at the same places.
void plane_distances(std::span<const ReducedLeg> legs, std::span<double> plane, int first, int last);

}  // namespace marula
