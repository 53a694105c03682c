// The launcher's menus over a runtime: the opening, the main menu and the
// sub-menus, until a program is started (which ends the launcher).
#pragma once

#include "runtime/runtime.h"
#include "session/session.h"

namespace marula {

[[noreturn]] void run_launcher(Runtime& rt, Session& session);

}  // namespace marula
