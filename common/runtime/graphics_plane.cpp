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

std::uint8_t* GraphicsPlane::band_for_drawing(int band) {
    auto& pixels = bands_[band];
    if (!pixels) {
        pixels = std::make_unique_for_overwrite<std::uint8_t[]>(kWidth * kBandHeight);
        std::fill_n(pixels.get(), kWidth * kBandHeight, background_);
    }
    return pixels.get();
}

}  // namespace marula
