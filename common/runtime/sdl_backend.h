// The window backend: SDL2 window, keys, mouse, IME text input, beep.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "backend.h"

namespace marula {

// Opens the 640 x 432 window (scaled, letterboxed). `placement` ("x,y",
// from the program that started this one) keeps the window where it was.
// Returns a message when there is no display to open it on.
std::optional<std::string> make_sdl_backend(const std::string& title, const std::string& placement,
                                            std::unique_ptr<Backend>& out);

}  // namespace marula

