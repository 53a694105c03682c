#include "bounded_entry.h"

#include <cmath>

#include "entry.h"

namespace marula {

double ask_number_below(Runtime& rt, int column, std::string_view prompt, double limit, std::string_view refusal) {
    for (;;) {
        double value = ask_number(rt, column, prompt);
        if (std::fabs(value) < limit) return value;
        rt.notice(refusal);
    }
}

}  // namespace marula
