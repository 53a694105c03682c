// The job's settings as a calculation uses them: the distance reduction
// ready to apply, the tolerance class and the zone, read once when the run
// first asks (a restored or reopened run takes them as they are now). And
// what every program shows of them: the reduction on row 0, the line a
// sheet names them by.
//
//     const CalculationSettings& s = calc.settings();
//     show_reduction_label(rt, s);             // 「距離：縮尺補正」 on row 0
//     if (s.reducing()) rt.lprint(reduction_settings_line(s));
//
// Without a job, or with a job's default settings, nothing is shown and
// nothing printed: the screens and sheets stay as they were.
#pragma once

#include <optional>
#include <string>

#include "runtime/runtime.h"
#include "survey/reduction.h"
#include "survey/tolerance.h"

namespace marula {

struct CalculationSettings {
    DistanceReduction reduction;                      // mode none without a job or a zone
    ToleranceClass tolerance = ToleranceClass::none;  // none without a job
    std::optional<int> zone;                          // the job's zone, 1 … 19
    bool reducing() const { return reduction.mode != ReductionMode::none; }
};

// Row 0 at column 0, colour 1: 「距離：縮尺補正」 or 「距離：標高・縮尺補正」
// while typed distances are reduced; nothing otherwise.
void show_reduction_label(Runtime& rt, const CalculationSettings& settings);

// What a sheet names of the reduction (empty when there is none):
// "距離の補正：標高・縮尺補正　第9系　平均標高Ｈ＝42.000 m　ジオイド高Ｎ＝37.000 m
// Ｒ＝6370000 m　Ｒ０＝6371488.621 m　ｍ０＝0.9999" (zone 9); the heights and R only
// in 標高・縮尺補正, where they take part.
std::string reduction_settings_line(const CalculationSettings& settings);

}  // namespace marula
