// Script mode: the headless backend. Events come from a script file, one
// per line; time is virtual; nothing is shown.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backend.h"

namespace marula {

// The longest script line taken; a longer one is an error.
inline constexpr std::size_t kScriptLineLimit = 4096;

// What one script line says: an event, or nothing for a blank line or a
// comment. A line that is not understood gives a message instead.
struct ScriptLine {
    std::optional<InputEvent> event;
    std::optional<std::string> error;
};
ScriptLine parse_script_line(std::string_view line);

// A backend over script lines held in memory (for tests).
std::unique_ptr<Backend> make_script_backend(std::vector<std::string> lines);

// The backend for MARULA_SCRIPT (a regular file; none means an empty
// script), read as a stream a line at a time. The first program of a run
// reads the whole script once before anything runs and refuses it, with a
// message naming the line, when a line is not understood or too long; a
// program started by RUN goes on from the byte offset it is handed in
// MARULA_SCRIPT_OFFSET without looking at the lines before it.
std::optional<std::string> make_script_backend_from_env(std::unique_ptr<Backend>& out);

}  // namespace marula
