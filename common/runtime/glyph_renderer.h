// Rendering by the face itself, through FreeType. It lives in a module
// beside the programs (libmarula_glyphs.so), loaded on the first glyph that
// the cache lacks.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "glyphs.h"

namespace marula {

class GlyphRenderer {
public:
    virtual ~GlyphRenderer() = default;
    // The face's glyph of cp in a slot `width` pixels wide (8 or 16): wider
    // glyphs halved across, narrower ones centred. Nothing when the face has
    // no glyph for cp.
    virtual std::optional<GlyphMask> render(char32_t cp, int width) = 0;
};

}  // namespace marula
