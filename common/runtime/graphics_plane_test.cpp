#include "runtime/graphics_plane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace marula {
namespace {

constexpr int kBandSize = GraphicsPlane::kWidth * GraphicsPlane::kBandHeight;

TEST(GraphicsPlane, UndrawnBandsReadAsBackgroundAndDrawnPixelsStay) {
    GraphicsPlane plane(15);
    EXPECT_EQ(plane.at(0, 0), 15);
    EXPECT_EQ(plane.at(639, 431), 15);
    // The first and last pixel of a band, and the rows either side of a
    // band edge, land where they were put.
    struct Pixel {
        int x, y;
        std::uint8_t colour;
    };
    const Pixel pixels[] = {{0, 17, 1}, {639, 18, 2}, {5, 431, 4}, {320, 0, 0}};
    for (const Pixel& p : pixels) plane.set(p.x, p.y, p.colour);
    for (const Pixel& p : pixels) EXPECT_EQ(plane.at(p.x, p.y), p.colour) << p.x << "," << p.y;
    EXPECT_EQ(plane.at(1, 17), 15);
    EXPECT_EQ(plane.at(639, 19), 15);

    std::vector<std::uint8_t> band(kBandSize, 99);
    plane.copy_band(1, band.data());  // rows 18..35: only (639, 18) drawn
    EXPECT_EQ(band[639], 2);
    EXPECT_EQ(std::count(band.begin(), band.end(), 15), kBandSize - 1);
    plane.copy_band(12, band.data());  // never drawn
    EXPECT_EQ(std::count(band.begin(), band.end(), 15), kBandSize);

    plane.clear();
    for (const Pixel& p : pixels) EXPECT_EQ(plane.at(p.x, p.y), 15);
}

}  // namespace
}  // namespace marula
