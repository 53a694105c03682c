// Screen pictures as PNG. Snaps are written at every scripted wait, so the
// file is made the quick way: the screen only ever holds the sixteen
// palette colours, so it is stored as an 8-bit palette image, unfiltered,
// with light compression (a few milliseconds instead of tens).
#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "printer.h"
#include "runtime.h"

namespace marula {

namespace {

constexpr int kWidth = kScreenWidth;
constexpr int kHeight = kScreenHeight;

// Palette index of each pixel; -1 when a pixel is not a palette colour.
int palette_index(std::uint32_t rgb) {
    for (int i = 0; i < 16; ++i)
        if (kPalette[i] == (rgb & 0xFFFFFF)) return i;
    return -1;
}

}  // namespace

std::optional<std::string> write_screen_png(const std::uint32_t* rgb, const std::filesystem::path& file) {
    std::vector<png_byte> indexed(std::size_t(kWidth) * kHeight);
    bool paletted = true;
    std::uint32_t last_rgb = rgb[0];
    int last_index = palette_index(last_rgb);
    for (std::size_t i = 0; i < indexed.size() && paletted; ++i) {
        if (rgb[i] != last_rgb) {  // runs of one colour are the rule on this screen
            last_rgb = rgb[i];
            last_index = palette_index(last_rgb);
        }
        paletted = last_index >= 0;
        indexed[i] = png_byte(last_index);
    }
    std::vector<png_byte> direct;
    if (!paletted) {
        direct.resize(std::size_t(kWidth) * kHeight * 3);
        for (std::size_t i = 0; i < std::size_t(kWidth) * kHeight; ++i) {
            direct[3 * i] = png_byte(rgb[i] >> 16);
            direct[3 * i + 1] = png_byte(rgb[i] >> 8);
            direct[3 * i + 2] = png_byte(rgb[i]);
        }
    }

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
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    if (paletted) {
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_color colours[16];
        for (int i = 0; i < 16; ++i)
            colours[i] = {png_byte(kPalette[i] >> 16), png_byte(kPalette[i] >> 8), png_byte(kPalette[i])};
        png_set_PLTE(png, info, colours, 16);
    } else {
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    }
    png_write_info(png, info);
    const png_byte* pixels = paletted ? indexed.data() : direct.data();
    const std::size_t stride = paletted ? kWidth : kWidth * 3;
    for (int y = 0; y < kHeight; ++y) png_write_row(png, pixels + stride * y);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(out.get()) != 0) return "cannot write " + file.string();
    return std::nullopt;
}

}  // namespace marula
