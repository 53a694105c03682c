// Whole files read and written with plain C I/O: the runtime's files are
// small, and this keeps stream and locale set-up off the start-up path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace marula {

// The whole content, or nothing when the file cannot be read.
std::optional<std::string> read_file(const std::filesystem::path& file);
// Replaces the file's content; false when it could not all be written.
bool write_file(const std::filesystem::path& file, std::string_view content);
// Adds to the end of the file, making it when missing.
bool append_file(const std::filesystem::path& file, std::string_view content);

}  // namespace marula
