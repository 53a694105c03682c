// Screen pictures as PNG. Snaps are written at every scripted wait, so the
// file is made the quick way: the screen holds only the sixteen palette
// colours, stored as an 8-bit palette image, unfiltered, with light
// compression (a few milliseconds instead of tens).
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <memory>

#include "printer.h"
#include "runtime.h"

namespace marula {

namespace {

constexpr int kWidth = kScreenWidth;
constexpr int kHeight = kScreenHeight;

}  // namespace

std::optional<std::string> write_screen_png(const std::function<const std::uint8_t*(int y)>& row,
                                            const std::filesystem::path& file) {
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "wb"), &std::fclose);
    if (!out) return "cannot write " + file.string();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        return "cannot write " + file.string();
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "cannot write " + file.string();
    }
    png_init_io(png, out.get());
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
    png_set_compression_mem_level(png, 3);
    png_set_compression_window_bits(png, 9);  // runs only look one pixel back
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(png, info, kWidth, kHeight, 4, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color colours[16];
    for (int i = 0; i < 16; ++i)
        colours[i] = {png_byte(kPalette[i] >> 16), png_byte(kPalette[i] >> 8), png_byte(kPalette[i])};
    png_set_PLTE(png, info, colours, 16);
    png_write_info(png, info);
    png_set_packing(png);  // one index per byte in, two to a byte in the file
    for (int y = 0; y < kHeight; ++y) png_write_row(png, row(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(out.get()) != 0) return "cannot write " + file.string();
    return std::nullopt;
}

std::optional<std::string> write_screen_png(const std::uint8_t* indices, const std::filesystem::path& file) {
    return write_screen_png([indices](int y) { return indices + std::size_t(kWidth) * y; }, file);
}

}  // namespace marula
