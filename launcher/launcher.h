// The launcher's menus over a runtime: the opening, the main menu and the
// sub-menus, until a program is started (which ends the launcher).
#pragma once

#include "runtime/runtime.h"

namespace marula {

[[noreturn]] void run_launcher(Runtime& rt);

}  // namespace marula
