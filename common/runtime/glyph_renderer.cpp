// The part of the screen font that needs FreeType, built as a module of its
// own: a run whose glyphs all come from the cache never loads FreeType.

#include "glyph_renderer.h"
#include "module_entries.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace marula {
namespace {

class FreeTypeRenderer final : public GlyphRenderer {
public:
    // Opens the face at 16 pixels; a message when it cannot.
    static std::optional<std::string> open(const std::string& path, std::unique_ptr<GlyphRenderer>& out) {
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) != 0) return std::string("FreeType を初期化できません (cannot start FreeType)");
        FT_Face face = nullptr;
        if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
            FT_Done_FreeType(library);
            return "画面フォントを読めません: " + path + " (not a usable font file)";
        }
        if (FT_Set_Pixel_Sizes(face, 0, 16) != 0) {
            FT_Done_Face(face);
            FT_Done_FreeType(library);
            return "画面フォントを16ドットで使えません: " + path + " (no 16-pixel size)";
        }
        out.reset(new FreeTypeRenderer(library, face));
        return std::nullopt;
    }
    ~FreeTypeRenderer() override {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    FreeTypeRenderer(const FreeTypeRenderer&) = delete;
    FreeTypeRenderer& operator=(const FreeTypeRenderer&) = delete;

    std::optional<GlyphMask> render(char32_t cp, int width) override {
        const FT_UInt index = FT_Get_Char_Index(face_, cp);
        if (index == 0) return std::nullopt;
        if (FT_Load_Glyph(face_, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return std::nullopt;
        const FT_GlyphSlot slot = face_->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return std::nullopt;

        const int advance = static_cast<int>(slot->advance.x >> 6);
        // A glyph wider than its slot is halved across (pairs of columns
        // merged) rather than cut; a narrower one is centred.
        const int squeeze = advance > width ? 2 : 1;
        const int offset = advance > 0 && advance < width ? (width - advance) / 2 : 0;
        GlyphMask mask;
        mask.width = width;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            const unsigned char* line = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
            const int y = kGlyphBaseline - slot->bitmap_top + static_cast<int>(row);
            for (unsigned col = 0; col < bitmap.width; ++col) {
                if ((line[col >> 3] & (0x80u >> (col & 7))) == 0) continue;
                const int x = (slot->bitmap_left + static_cast<int>(col)) / squeeze + offset;
                mask.set(x, y);
            }
        }
        return mask;
    }

private:
    FreeTypeRenderer(FT_Library library, FT_Face face) : library_(library), face_(face) {}

    FT_Library library_;
    FT_Face face_;
};

}  // namespace
}  // namespace marula

extern "C" __attribute__((visibility("default"))) void marula_open_glyph_renderer(
    const std::string* path, std::unique_ptr<marula::GlyphRenderer>* out, std::optional<std::string>* error) {
    *error = marula::FreeTypeRenderer::open(*path, *out);
}

MARULA_CHECK_MODULE_ENTRY(marula::modules::kGlyphs, marula_open_glyph_renderer);
