// What the traverses print of the job's distance reduction: the table of
// the legs' distances from the ground to the plane under the settings they
// were reduced with, and where the starting station lies on the Earth.
// Nothing at all when distances are not reduced.
#pragma once

#include <string>
#include <vector>

#include "frame/job_settings.h"
#include "runtime/runtime.h"
#include "survey/reduction.h"

namespace marula {

// One leg of the table: the names of its ends and its reduction.
struct ReductionRow {
    std::string from, to;
    ReducedLeg leg;
};

// An empty line, the settings line (reduction_settings_line), a heading,
// then one line a leg: D, S, the line scale factor to 9 decimals and s.
void report_reduction_table(Runtime& rt, const CalculationSettings& settings, const std::vector<ReductionRow>& rows);

// The starting station's grid convergence (真北方向角, signed, to 0.01″)
// and point scale factor (8 decimals) in the job's zone, on one line.
void report_station_place(Runtime& rt, const CalculationSettings& settings, const std::string& name, double x,
                          double y);

}  // namespace marula
