#include "bounded_entry.h"

#include <cmath>

#include "entry.h"

namespace marula {

double ask_number_below(Runtime& rt, int column, std::string_view prompt, double limit, std::string_view refusal,
                        std::optional<double> preset) {
    for (;;) {
        double value = ask_number(rt, column, prompt, preset);
        if (std::fabs(value) < limit) return value;
        rt.notice(refusal);
    }
}

AngleEntry ask_angle_entry(Runtime& rt, int column, std::string_view prompt, AngleKind kind, double nudge_in,
                           double nudge_out) {
    for (;;) {
        AngleEntry entry = ask_angle(rt, column, prompt, kind, nudge_in, nudge_out);
        if (std::fabs(entry.packed) < kAngleLimit) return entry;
        rt.notice(kAngleTooLarge);
    }
}

}  // namespace marula
