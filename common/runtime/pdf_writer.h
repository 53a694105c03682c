// PDF output of the printer and of screen copies. The runtime reaches it
// through a module (libmarula_pdf.so) loaded on the first print; tests link
// it directly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "printer.h"

namespace marula {

// Writes a page as a one-page A4 PDF. The font (IPAGothic, or MARULA_PRINT_FONT)
// is embedded; every character sits on a fixed pitch (full-width characters
// take two half-width cells); the page is scaled so the widest line fits.
// Returns an error message, or nothing on success.
std::optional<std::string> write_page_pdf(const PrintedPage& page, const std::filesystem::path& file);
// A screen picture (640 x 432 palette indices, see kPalette) as a one-page
// A4 landscape PDF.
std::optional<std::string> write_screen_pdf(const std::uint8_t* indices, const std::filesystem::path& file);
// The same into an open file, every write checked; the caller flushes,
// closes and names the file.
std::optional<std::string> write_page_pdf(const PrintedPage& page, int fd);
std::optional<std::string> write_screen_pdf(const std::uint8_t* indices, int fd);

// What the module hands the runtime.
struct PdfWriters {
    std::optional<std::string> (*page)(const PrintedPage& page, int fd);
    std::optional<std::string> (*screen)(const std::uint8_t* indices, int fd);
};

}  // namespace marula

