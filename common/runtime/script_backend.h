// Script mode: the headless backend. Events come from a script file, one
// per line; time is virtual; nothing is shown.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backend.h"

namespace marula {

// A backend over script lines, starting at line `start` (0-based; lines
// before it were consumed by the program that RUN this one).
std::unique_ptr<Backend> make_script_backend(std::vector<std::string> lines, int start = 0);

// The backend for MARULA_SCRIPT (a file; none means an empty script) and
// MARULA_SCRIPT_LINE. Returns a message when the script cannot be read.
std::optional<std::string> make_script_backend_from_env(std::unique_ptr<Backend>& out);

}  // namespace marula
