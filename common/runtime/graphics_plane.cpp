#include "graphics_plane.h"

#include <algorithm>

namespace marula {

void GraphicsPlane::copy_band(int band, std::uint8_t* out) const {
    constexpr int kSize = kWidth * kBandHeight;
    if (bands_[band]) {
        std::copy_n(bands_[band].get(), kSize, out);
    } else {
        std::fill_n(out, kSize, background_);
    }
}

void GraphicsPlane::set_row(int x, int y, const std::uint8_t* colours, int count) {
    std::copy_n(colours, count, band_for_drawing(y / kBandHeight) + (y % kBandHeight) * kWidth + x);
}

void GraphicsPlane::fill_row(int x1, int x2, int y, std::uint8_t colour) {
    std::fill_n(band_for_drawing(y / kBandHeight) + (y % kBandHeight) * kWidth + x1, x2 - x1 + 1, colour);
}

std::uint8_t* GraphicsPlane::band_for_drawing(int band) {
    auto& pixels = bands_[band];
    if (!pixels) {
        pixels = std::make_unique_for_overwrite<std::uint8_t[]>(kWidth * kBandHeight);
        std::fill_n(pixels.get(), kWidth * kBandHeight, background_);
    }
    return pixels.get();
}

}  // namespace marula
