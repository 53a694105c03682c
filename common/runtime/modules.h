// Parts of the runtime built as modules beside the programs (the window,
// the PDF writer, the font renderer), loaded only when first needed.
#pragma once

#include <filesystem>
#include <string>

namespace marula {

// The folder of the running executable, where its sibling programs and the
// modules stand; empty when it cannot be told (never the current folder).
std::filesystem::path executable_dir();

// The address of `entry` in a module standing beside the executable, loaded
// on first use and kept; nothing, with the reason in `why`, when it cannot be
// had.
void* module_entry(const char* module, const char* entry, std::string& why);

}  // namespace marula
