// The graphics plane: 640 x 432 palette indices, kept in bands of 18 pixel
// rows, one per text row. A band nothing has been drawn on holds no memory
// and reads as the background, so a screen of text with a few lines costs
// only the bands those lines cross.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "screen_geometry.h"

namespace marula {

class GraphicsPlane {
public:
    static constexpr int kWidth = kScreenWidth;
    static constexpr int kBandHeight = kCellHeight;  // one band under each text row
    static constexpr int kBands = kRows;

    explicit GraphicsPlane(std::uint8_t background) : background_(background) {}

    // (x, y) must lie on the plane.
    std::uint8_t at(int x, int y) const {
        const auto& band = bands_[y / kBandHeight];
        return band ? band[(y % kBandHeight) * kWidth + x] : background_;
    }
    void set(int x, int y, std::uint8_t colour) { band_for_drawing(y / kBandHeight)[(y % kBandHeight) * kWidth + x] = colour; }
    // Pixels x .. x+count-1 of row y, all on the plane, from `colours`.
    void set_row(int x, int y, const std::uint8_t* colours, int count);
    // Pixels x1 .. x2 of row y, all on the plane, in one colour.
    void fill_row(int x1, int x2, int y, std::uint8_t colour);
    // Everything back to the background.
    void clear() {
        for (auto& band : bands_) band.reset();
    }
    // Copies band `band` (kBandHeight rows of kWidth) into `out`.
    void copy_band(int band, std::uint8_t* out) const;

private:
    std::uint8_t* band_for_drawing(int band);

    std::uint8_t background_;
    std::array<std::unique_ptr<std::uint8_t[]>, kBands> bands_;
};

}  // namespace marula
