// The screen font: 1-bit glyphs of a 16-pixel Japanese bitmap-style face.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace marula {

// One glyph as a mask of 18 rows in a cell 8 (half-width) or 16
// (full-width) pixels wide. Bit 15 of a row is the leftmost pixel; row 0
// is the top pixel row of the text cell. The baseline sits at row 15.
inline constexpr int kGlyphRows = 18;
// One free pixel row above the 14-pixel ascent: the baseline is row 15.
inline constexpr int kGlyphBaseline = 1 + 14;

struct GlyphMask {
    int width = 8;
    std::array<std::uint16_t, kGlyphRows> rows{};
    // Lights pixel (x, y); pixels outside the slot are left alone.
    void set(int x, int y) {
        if (x >= 0 && x < width && y >= 0 && y < kGlyphRows) rows[y] |= static_cast<std::uint16_t>(0x8000u >> x);
    }
};

class GlyphFont {
public:
    // Opens the screen font (MARULA_FONT when set, else the Debian path of
    // Unifont JP). Returns a message when it cannot.
    //
    // With a cache file, glyphs rendered by earlier runs from the same font
    // file (same path, size and modification time) are read from it, and
    // the font itself is opened only for a character the cache lacks;
    // save() adds what was rendered since.
    static std::optional<std::string> open(std::unique_ptr<GlyphFont>& out,
                                           const std::filesystem::path& cache_file = {});
    virtual ~GlyphFont() = default;
    // The glyph of cp for a cell `columns` (1 or 2) wide. A glyph narrower
    // than its slot is centred; box-drawing characters fill the slot.
    // Unknown characters give an empty box outline. Results are kept.
    virtual const GlyphMask& glyph(char32_t cp, int columns) = 0;
    // Writes the cache file when glyphs were rendered since it was read or
    // last written; does nothing without a cache file or when it cannot be
    // written.
    virtual void save() = 0;
};

// The glyph cache of this user: $XDG_CACHE_HOME/marula/glyphs.bin, or
// ~/.cache/marula/glyphs.bin; empty when neither variable is set.
std::filesystem::path default_glyph_cache();

// The font file a cache belongs to.
struct FontStamp {
    std::string path;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    bool operator==(const FontStamp&) const = default;
};

// One cached glyph: character, slot columns and mask.
struct CachedGlyph {
    char32_t cp = 0;
    int columns = 1;
    GlyphMask mask;
};

// The cache file itself. Reading gives nothing when the file is missing,
// damaged, of another version or made from another font file.
std::optional<std::vector<CachedGlyph>> read_glyph_cache(const std::filesystem::path& file, const FontStamp& font);
// Writes through a temporary file renamed into place, so a reader never
// sees half a file. Returns false when the file could not be written.
bool write_glyph_cache(const std::filesystem::path& file, const FontStamp& font, const std::vector<CachedGlyph>& glyphs);

}  // namespace marula
