// The frame's own unchecked read of a number, under the bounded entries of
// bounded_entry.h; programs never call it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/runtime.h"
#include "screen.h"

namespace marula::detail {

// A numeric answer at `column` of row 23, the prompt and the answer in
// `color`. Text that is not a finite number is refused by the runtime and
// asked again; an empty answer returns `preset` when given. The row is
// wiped once the answer is taken.
double ask_number(Runtime& rt, int column, std::string_view prompt, std::optional<double> preset,
                  int color = kPromptColor);

// The prompt cut where it would leave fewer than twelve columns for the
// answer at `column` (see ask_text).
std::string fit_prompt(std::string_view prompt, int column);

}  // namespace marula::detail
