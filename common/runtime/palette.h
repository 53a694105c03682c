// The screen's colours.
#pragma once

#include <array>
#include <cstdint>

namespace marula {

// The 16-colour palette, 0x00RRGGBB: 0 black, 1 blue, 2 green, 3 cyan,
// 4 red, 5 magenta, 6 brown, 7 light grey, 8 dark grey, 9-14 light blue,
// green, cyan, red, magenta, yellow, 15 white. The screen holds nothing
// else, so frames travel as indices into it.
inline constexpr std::array<std::uint32_t, 16> kPalette = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};

}  // namespace marula
