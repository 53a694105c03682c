// Reading .bmp files for the graphics plane.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace marula {

// A bitmap file as drawn: its pixels in the nearest palette colours, top
// row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> colours;
};

// Loads an uncompressed BMP (1, 4, 8, 24 or 32 bits per pixel, bottom-up or
// top-down). Returns a message when the file is missing or not such a BMP.
std::optional<std::string> load_bmp(const std::filesystem::path& file, Picture& out);

// The palette colour (0-15) nearest to an RGB value.
int nearest_palette_color(std::uint32_t rgb);

}  // namespace marula
