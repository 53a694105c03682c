// The modules that stand beside the programs and their entry points, in
// one table read by the loader and by the modules themselves: each module
// checks at compile time that its entry has the name and the type the
// loader calls it by.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "modules.h"

namespace marula {

class Backend;
class GlyphRenderer;
struct PdfWriters;

namespace modules {

// An entry point: the module's file, the entry's symbol and its type.
template <typename Function>
struct Entry {
    using Type = Function;
    const char* file;
    const char* symbol;
};

// The window (SDL): opens it into `out`, or sets `error` for the user.
using OpenWindow = void(const std::string* title, const std::string* placement, std::unique_ptr<Backend>* out,
                        std::optional<std::string>* error);
// The PDF writer (cairo): hands over its writers.
using HandPdfWriters = void(PdfWriters* out);
// The font renderer (FreeType): opens the face at `path` into `out`, or sets
// `error` for the user.
using OpenGlyphRenderer = void(const std::string* path, std::unique_ptr<GlyphRenderer>* out,
                               std::optional<std::string>* error);

inline constexpr Entry<OpenWindow> kWindow{"libmarula_sdl.so", "marula_open_window"};
inline constexpr Entry<HandPdfWriters> kPdf{"libmarula_pdf.so", "marula_pdf_writers"};
inline constexpr Entry<OpenGlyphRenderer> kGlyphs{"libmarula_glyphs.so", "marula_open_glyph_renderer"};

// The entry's function, its module loaded on first use and kept; nothing,
// with the reason in `why`, when it cannot be had.
template <typename Function>
Function* load(const Entry<Function>& entry, std::string& why) {
    return reinterpret_cast<Function*>(module_entry(entry.file, entry.symbol, why));
}

}  // namespace modules
}  // namespace marula

// Written in a module after its entry function: the function must have the
// type and the name the table gives the entry.
#define MARULA_CHECK_MODULE_ENTRY(entry, function)                                                          \
    static_assert(std::is_same_v<decltype(function), std::remove_cvref_t<decltype(entry)>::Type>,          \
                  "the module's entry differs in type from the table in module_entries.h");             \
    static_assert(std::string_view(entry.symbol) == #function,                                             \
                  "the module's entry differs in name from the table in module_entries.h")
