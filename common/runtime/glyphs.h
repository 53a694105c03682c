// The screen font: 1-bit glyphs of a 16-pixel Japanese bitmap-style face.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace marula {

// One glyph as a mask of 18 rows in a cell 8 (half-width) or 16
// (full-width) pixels wide. Bit 15 of a row is the leftmost pixel; row 0
// is the top pixel row of the text cell. The baseline sits at row 15.
struct GlyphMask {
    int width = 8;
    std::array<std::uint16_t, 18> rows{};
};

class GlyphFont {
public:
    // Opens the screen font (MARULA_FONT when set, else the Debian path of
    // Unifont JP). Returns a message when it cannot.
    static std::optional<std::string> open(std::unique_ptr<GlyphFont>& out);
    virtual ~GlyphFont() = default;
    // The glyph of cp for a cell `columns` (1 or 2) wide. A glyph narrower
    // than its slot is centred; box-drawing characters fill the slot.
    // Unknown characters give an empty box outline. Results are cached.
    virtual const GlyphMask& glyph(char32_t cp, int columns) = 0;
};

}  // namespace marula
