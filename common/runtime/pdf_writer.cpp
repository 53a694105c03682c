// PDF output: printed pages set on a fixed pitch in an embedded Japanese
// font, and screen copies, both on A4 paper. Built into a module of its own
// so that cairo and the libraries behind it are loaded only when a program
// first prints.

#include "pdf_writer.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/files.h"
#include "base/format.h"
#include "palette.h"
#include "screen_geometry.h"

namespace marula {

// ---------------------------------------------------------------------------
// Page layout

namespace {

constexpr double kA4Short = 595.28;  // points
constexpr double kA4Long = 841.89;
constexpr double kMargin = 36.0;     // half an inch all round
// Pitches count 1/1200 inch; a size number counts 1/15 point, so size 200
// at character pitch 111 sets full-width characters edge to edge.
constexpr double kPointsPerPitchUnit = 72.0 / 1200.0;
constexpr double kPointsPerSizeUnit = 1.0 / 15.0;
// With no line pitch set, lines stand one and a half type heights apart.
constexpr double kDefaultLineSpacing = 1.5;
constexpr const char* kDefaultPrintFont = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

double em_of(const PrintRun& run) { return run.font_size * kPointsPerSizeUnit; }

// Width of one half-width cell: from the pitch, or half the type height.
double cell_of(const PrintRun& run) {
    return run.char_pitch > 0 ? run.char_pitch * kPointsPerPitchUnit : em_of(run) / 2;
}

double line_advance_of(const PrintRun& run) {
    return run.line_pitch > 0 ? run.line_pitch * kPointsPerPitchUnit : em_of(run) * kDefaultLineSpacing;
}

// One character of a run on its place in the line.
struct PlacedChar {
    std::string text;  // UTF-8, control characters blanked
    double x;          // left edge of its cells
    int width;         // 1 or 2 cells
};

struct PlacedRun {
    const PrintRun* run;
    std::vector<PlacedChar> chars;
};

struct PlacedLine {
    double top = 0;
    double tallest = 0;  // largest type height among runs with text
    std::vector<PlacedRun> runs;
};

struct PageLayout {
    std::vector<PlacedLine> lines;
    double width = 0;
    double height = 0;
};

PageLayout lay_out(const PrintedPage& page) {
    PageLayout layout;
    double y = 0;
    for (const PrintedLine& line : page.lines) {
        PlacedLine placed;
        placed.top = y;
        double x = 0;
        for (const PrintRun& run : line.runs) {
            PlacedRun pr{&run, {}};
            const double cell = cell_of(run);
            for (std::string ch : split_chars(run.text)) {
                const char32_t cp = decode_char(ch);
                if (cp < 0x20 || cp == 0x7F) ch.assign(1, ' ');
                const int w = display_width(ch);
                pr.chars.push_back(PlacedChar{ch, x, w});
                x += w * cell;
            }
            if (!pr.chars.empty()) placed.tallest = std::max(placed.tallest, em_of(run));
            placed.runs.push_back(std::move(pr));
        }
        layout.width = std::max(layout.width, x);
        if (placed.tallest > 0) layout.height = std::max(layout.height, y + placed.tallest);
        // The line feed moves by the pitch in effect when the line ended.
        y += line.runs.empty() ? em_of(PrintRun{}) * kDefaultLineSpacing : line_advance_of(line.runs.back());
        layout.lines.push_back(std::move(placed));
    }
    return layout;
}

// ---------------------------------------------------------------------------
// The print font

struct PrintFont {
    std::string path;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    cairo_font_face_t* cairo_face = nullptr;
    double ascent = 0.88;  // of the em
};

// Opened once for the life of the program (again only when the font file
// setting changes); cairo keeps its own reference to the face.
std::optional<std::string> print_font(cairo_font_face_t*& face, double& ascent) {
    static std::mutex mutex;
    static PrintFont font;
    std::lock_guard lock(mutex);
    const char* env = std::getenv("MARULA_PRINT_FONT");
    const std::string path = env && *env ? env : kDefaultPrintFont;
    if (font.cairo_face == nullptr || font.path != path) {
        if (font.library == nullptr && FT_Init_FreeType(&font.library) != 0)
            return "フォントを使えません（FreeType）";
        FT_Face ft = nullptr;
        if (FT_New_Face(font.library, path.c_str(), 0, &ft) != 0) return "印刷フォントがありません：" + path;
        cairo_font_face_t* cf = cairo_ft_font_face_create_for_ft_face(ft, 0);
        static cairo_user_data_key_t key;
        if (cairo_font_face_set_user_data(cf, &key, ft, [](void* f) { FT_Done_Face(static_cast<FT_Face>(f)); }) !=
            CAIRO_STATUS_SUCCESS) {
            cairo_font_face_destroy(cf);
            FT_Done_Face(ft);
            return "印刷フォントを使えません：" + path;
        }
        if (font.cairo_face) cairo_font_face_destroy(font.cairo_face);
        font.cairo_face = cf;
        font.face = ft;
        font.path = path;
        if (ft->units_per_EM > 0 && ft->ascender > 0) font.ascent = double(ft->ascender) / ft->units_per_EM;
    }
    face = font.cairo_face;
    ascent = font.ascent;
    return std::nullopt;
}

// Where cairo's output goes: a file descriptor, and the cause of the first
// failed write.
struct Output {
    int fd;
    int error = 0;
};

std::string cairo_trouble(cairo_status_t status, const Output& out = {-1, 0}) {
    if (status == CAIRO_STATUS_WRITE_ERROR && out.error != 0) return std::string("PDF：") + std::strerror(out.error);
    return std::string("PDF：") + cairo_status_to_string(status);
}

// cairo's output into a file descriptor, every write checked: a failed
// write becomes the surface's error.
cairo_status_t write_to_fd(void* closure, const unsigned char* data, unsigned int length) {
    auto& out = *static_cast<Output*>(closure);
    while (length > 0) {
        const ssize_t n = ::write(out.fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (out.error == 0) out.error = n < 0 ? errno : EIO;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += n;
        length -= static_cast<unsigned int>(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

// Draws one run's characters, each centred in its cells, keeping the text
// with the glyphs so that the page can be searched and copied.
void show_run(cairo_t* cr, const PlacedRun& run, double baseline) {
    if (run.chars.empty()) return;
    const double em = em_of(*run.run);
    const double cell = cell_of(*run.run);
    cairo_set_font_size(cr, em);
    cairo_scaled_font_t* font = cairo_get_scaled_font(cr);
    std::string utf8;
    for (const PlacedChar& c : run.chars) utf8 += c.text;

    cairo_glyph_t* glyphs = nullptr;
    int glyph_count = 0;
    cairo_text_cluster_t* clusters = nullptr;
    int cluster_count = 0;
    cairo_text_cluster_flags_t flags{};
    if (cairo_scaled_font_text_to_glyphs(font, 0, baseline, utf8.data(), static_cast<int>(utf8.size()), &glyphs,
                                         &glyph_count, &clusters, &cluster_count, &flags) != CAIRO_STATUS_SUCCESS)
        return;
    // Clusters follow the characters in order; each character is one
    // cluster, whatever glyphs the font gives it.
    int g = 0;
    std::size_t c = 0;
    for (int k = 0; k < cluster_count && c < run.chars.size(); ++k) {
        std::size_t bytes = 0;
        const std::size_t first_char = c;
        while (c < run.chars.size() && bytes < static_cast<std::size_t>(clusters[k].num_bytes))
            bytes += run.chars[c++].text.size();
        const PlacedChar& ch = run.chars[first_char];
        // A half-width glyph is half an em wide, a full-width one an em.
        const double slot = ch.width * cell;
        const double x = ch.x + (slot - ch.width * em / 2) / 2;
        for (int i = 0; i < clusters[k].num_glyphs && g < glyph_count; ++i, ++g) {
            glyphs[g].x = x;
            glyphs[g].y = baseline;
        }
    }
    cairo_show_text_glyphs(cr, utf8.data(), static_cast<int>(utf8.size()), glyphs, glyph_count, clusters,
                           cluster_count, flags);
    cairo_glyph_free(glyphs);
    cairo_text_cluster_free(clusters);
}

// Writes a one-page PDF of the given size, drawing with `draw`.
template <typename Draw>
std::optional<std::string> write_pdf(int fd, double width, double height, Draw draw) {
    Output out{fd};
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(&write_to_fd, &out, width, height);
    if (const cairo_status_t s = cairo_surface_status(surface); s != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return cairo_trouble(s, out);
    }
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Marula");
    cairo_t* cr = cairo_create(surface);
    draw(cr);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) return cairo_trouble(status, out);
    return std::nullopt;
}

// A PDF written by `write` whole into the file at `path` (made, or put in
// place of a regular file there).
template <typename Write>
std::optional<std::string> write_pdf_file(const std::filesystem::path& file, Write write) {
    WholeFile out;
    const std::string name = file.filename().string();
    if (auto err = out.open(file.parent_path().empty() ? "." : file.parent_path(), name)) return err;
    if (auto err = write(out.fd())) return name + "：" + *err;
    if (auto err = out.finish()) return err;
    return out.replace(name);
}

// The screen picture as a cairo image; the caller destroys it.
cairo_surface_t* screen_image(const std::uint8_t* indices) {
    constexpr int kWidth = kScreenWidth;
    constexpr int kHeight = kScreenHeight;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) return image;
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        for (int x = 0; x < kWidth; ++x) row[x] = kPalette[indices[y * kWidth + x] & 15];
    }
    cairo_surface_mark_dirty(image);
    return image;
}

}  // namespace

std::optional<std::string> write_page_pdf(const PrintedPage& page, const std::filesystem::path& file) {
    return write_pdf_file(file, [&](int fd) { return write_page_pdf(page, fd); });
}

std::optional<std::string> write_screen_pdf(const std::uint8_t* indices, const std::filesystem::path& file) {
    return write_pdf_file(file, [&](int fd) { return write_screen_pdf(indices, fd); });
}

std::optional<std::string> write_page_pdf(const PrintedPage& page, int fd) {
    cairo_font_face_t* face = nullptr;
    double ascent = 0;
    if (auto err = print_font(face, ascent)) return err;
    const double page_width = page.landscape ? kA4Long : kA4Short;
    const double page_height = page.landscape ? kA4Short : kA4Long;
    const PageLayout layout = lay_out(page);
    // One scale for the whole page: the widest line and the last line fit
    // inside the margins, and nothing is enlarged.
    double scale = 1.0;
    if (layout.width > 0) scale = std::min(scale, (page_width - 2 * kMargin) / layout.width);
    if (layout.height > 0) scale = std::min(scale, (page_height - 2 * kMargin) / layout.height);

    return write_pdf(fd, page_width, page_height, [&](cairo_t* cr) {
        cairo_translate(cr, kMargin, kMargin);
        cairo_scale(cr, scale, scale);
        cairo_set_font_face(cr, face);
        cairo_set_source_rgb(cr, 0, 0, 0);
        for (const PlacedLine& line : layout.lines) {
            const double baseline = line.top + line.tallest * ascent;
            for (const PlacedRun& run : line.runs) show_run(cr, run, baseline);
        }
    });
}

std::optional<std::string> write_screen_pdf(const std::uint8_t* indices, int fd) {
    cairo_surface_t* image = screen_image(indices);
    if (const cairo_status_t s = cairo_surface_status(image); s != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return cairo_trouble(s);
    }
    const double avail_w = kA4Long - 2 * kMargin;
    const double avail_h = kA4Short - 2 * kMargin;
    const double scale = std::min(avail_w / kScreenWidth, avail_h / kScreenHeight);
    auto result = write_pdf(fd, kA4Long, kA4Short, [&](cairo_t* cr) {
        // Centred on the page, pixels kept square and sharp.
        cairo_translate(cr, (kA4Long - kScreenWidth * scale) / 2, (kA4Short - kScreenHeight * scale) / 2);
        cairo_scale(cr, scale, scale);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
    });
    cairo_surface_destroy(image);
    return result;
}

}  // namespace marula
