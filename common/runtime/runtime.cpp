// The runtime's facade: construction, the composed screen and what script
// mode writes of it (snaps, the final dump, events.log). Each concern has
// its file: runtime_text.cpp (the text plane), runtime_drawing.cpp (the
// graphics plane), runtime_events.cpp (traps, waits and time),
// runtime_input.cpp (line entry and notices), runtime_printing.cpp (the
// printer, pages and hard copies), runtime_programs.cpp (bitmaps, RUN, END).
#include "runtime.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <ctime>

#include "base/files.h"
#include "runtime_internal.h"

namespace marula {

using namespace detail;

std::optional<std::string> Runtime::create(std::string program, std::unique_ptr<Backend> backend,
                                           std::unique_ptr<Runtime>& out) {
    std::unique_ptr<GlyphFont> font;
    if (auto err = GlyphFont::open(font, default_glyph_cache())) return err;
    out.reset(new Runtime(std::move(program), std::move(backend), std::move(font)));
    return std::nullopt;
}

Runtime::Runtime(std::string program, std::unique_ptr<Backend> backend, std::unique_ptr<GlyphFont> font)
    : program_(std::move(program)),
      backend_(std::move(backend)),
      font_(std::move(font)),
      out_dir_(getenv_or("MARULA_OUT", ".")),
      pixels_(kBackground) {
    key_traps_.fill(Trap::Off);
}

Runtime::~Runtime() {
    if (filing_folder_fd_ >= 0) ::close(filing_folder_fd_);
}

void Runtime::compose_band(int row, std::uint8_t* out) const {
    // Pixel rows row*18 .. row*18+17, in palette indices: the graphics with
    // the glyph pixels of this text row over them.
    pixels_.copy_band(row, out);
    auto draw_mask = [&](const GlyphMask& g, int x0, int color, int style) {
        const auto index = std::uint8_t(color);
        for (int y = 0; y < kCellHeight; ++y) {
            std::uint32_t bits = g.rows[y];
            if (style == 4 || style == 5) bits |= bits >> 1;  // bold: struck twice
            if (style == 5 && y == 16) bits = 0xFFFF;       // underlined
            for (int col = 0; col < g.width; ++col) {
                const int x = x0 + col;
                if ((bits & (0x8000u >> col)) && x < kScreenWidth) out[y * kScreenWidth + x] = index;
            }
        }
    };
    for (int c = 0; c < kColumns; ++c) {
        const Cell& cell = text_[row][c];
        if (cell.ch == 0 || cell.continuation) continue;
        int w = char_width(cell.ch);
        if (c + w > kColumns) w = 1;
        draw_mask(font_->glyph(cell.ch, w), c * kCellWidth, cell.color, cell.style);
    }
    if (entering_ && entry_row_ == row && !under_standing_notice_) {
        // IME composition after the entry cursor, underlined, then the cursor.
        int col = entry_col_;
        for (const std::string& ch : split_chars(preedit_)) {
            const char32_t cp = decode_char(ch);
            const int w = char_width(cp);
            if (col + w > kColumns) break;
            draw_mask(font_->glyph(cp, w), col * kCellWidth, 1, 0);
            std::fill_n(out + 17 * kScreenWidth + col * kCellWidth, w * kCellWidth, std::uint8_t(1));
            col += w;
        }
        if (col < kColumns) {
            for (int y = 15; y < 17; ++y) std::fill_n(out + y * kScreenWidth + col * kCellWidth, kCellWidth, std::uint8_t(0));
        }
    }
}

const std::vector<std::uint8_t>& Runtime::compose() {
    // Kept in one buffer reused by every frame.
    frame_.resize(std::size_t(kScreenWidth) * kScreenHeight);
    for (int row = 0; row < kRows; ++row) compose_band(row, frame_.data() + std::size_t(row) * kCellHeight * kScreenWidth);
    font_->save();  // glyphs new to this run are kept for the next
    return frame_;
}

void Runtime::present() {
    if (backend_->script_mode()) return;  // script mode shows nothing; snaps compose their own
    backend_->present(compose().data());
}

void Runtime::log_event(std::string_view line) {
    if (!backend_ || !backend_->script_mode()) return;
    std::string entry(line);
    entry += '\n';
    // Every program of a RUN chain appends here: one checked append a line.
    if (auto err = append_to_file(out_dir_ / "events.log", entry)) {
        static bool told = false;
        if (!told) std::fprintf(stderr, "%s: %s\n", program_.c_str(), err->c_str());
        told = true;
    }
}

void Runtime::snap(std::string_view name) {
    std::string base(name);
    if (auto err = write_whole_file(out_dir_ / (base + ".txt"), text_dump())) log_event("error " + *err);
    if (auto err = write_whole_file(out_dir_ / (base + ".color"), color_dump())) log_event("error " + *err);
    // Composed a text row at a time as the file is written: a snap needs no
    // whole frame.
    std::array<std::uint8_t, kCellHeight * kScreenWidth> band;
    auto rows = [&](int y) -> const std::uint8_t* {
        if (y % kCellHeight == 0) compose_band(y / kCellHeight, band.data());
        return band.data() + (y % kCellHeight) * kScreenWidth;
    };
    if (auto err = write_screen_png(rows, out_dir_ / (base + ".png"))) log_event("error " + *err);
    font_->save();
}

}  // namespace marula
