#include "traverse/reduction_sheet.h"

#include <cstdio>

#include "survey/angle_text.h"
#include "survey/plane_rectangular.h"

namespace marula {

void report_reduction_table(Runtime& rt, const CalculationSettings& settings, const std::vector<ReductionRow>& rows) {
    if (!settings.reducing()) return;
    rt.lprint("");
    rt.lprint("      " + reduction_settings_line(settings));
    rt.lprint("      測点    測点    地上距離Ｄ    楕円体面Ｓ    線縮尺係数     平面距離ｓ");
    for (const ReductionRow& r : rows)
        rt.lprint_using("      &    &  &    &   #####.###     #####.###   #.#########      #####.###",
                        {r.from, r.to, r.leg.ground, r.leg.ellipsoid, r.leg.line_factor, r.leg.plane});
}

void report_station_place(Runtime& rt, const CalculationSettings& settings, const std::string& name, double x,
                          double y) {
    if (!settings.reducing() || !settings.zone) return;
    const std::optional<ZonePosition> at = plane_to_geographic(*settings.zone, x, y);
    if (!at) {
        rt.lprint("      " + name + "　座標系の範囲外です");
        return;
    }
    char scale[32];
    std::snprintf(scale, sizeof scale, "%.8f", at->scale);
    rt.lprint("      " + name + "　真北方向角 " + format_signed_dms(at->convergence) + "　縮尺係数 " + scale);
}

}  // namespace marula
