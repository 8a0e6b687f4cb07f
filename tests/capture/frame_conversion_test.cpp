#include "capture/frame_conversion.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tavlomi {
namespace {

TEST(Luminance, WorkedValues) {
    EXPECT_EQ(luminance(0, 0, 0), 0);
    EXPECT_EQ(luminance(255, 255, 255), 254);
    EXPECT_EQ(luminance(255, 0, 0), 54);
    EXPECT_EQ(luminance(0, 255, 0), 182);
    EXPECT_EQ(luminance(0, 0, 255), 18);
    EXPECT_EQ(luminance(15, 15, 15), 14);
    EXPECT_EQ(luminance(16, 16, 16), 15);
    EXPECT_EQ(luminance(200, 100, 50), 117);
    EXPECT_EQ(luminance(30, 20, 10), 21);
}

TEST(Luminance, GreyIsOneLessThanItsLevel) {
    for (int v = 1; v <= 255; ++v)
        EXPECT_EQ(luminance(v, v, v), v - 1) << v;
}

TEST(ConvertFrame, LastBufferPixelIsTopLeftCell) {
    const int width = 3, height = 2, cells = width * height;
    std::vector<std::uint8_t> frame(3 * cells, 0);
    frame[3 * cells - 3] = 10;  // B
    frame[3 * cells - 2] = 20;  // G
    frame[3 * cells - 1] = 30;  // R
    RgbGrid rgb(cells);
    LumaGrid luma(cells, 99);
    convertFrame(frame, rgb, luma);
    EXPECT_EQ(rgb[0].r, 30);
    EXPECT_EQ(rgb[0].g, 20);
    EXPECT_EQ(rgb[0].b, 10);
    EXPECT_EQ(luma[0], 21);
    for (int k = 1; k < cells; ++k)
        EXPECT_EQ(luma[k], 0) << k;
}

TEST(ConvertFrame, PictureIsUprightAndMirrored) {
    // Each buffer pixel carries its own buffer row and column, so every cell can be traced back.
    const int width = 5, height = 4, cells = width * height;
    std::vector<std::uint8_t> frame(3 * cells);
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const int p = row * width + col;
            frame[3 * p] = static_cast<std::uint8_t>(row);
            frame[3 * p + 1] = static_cast<std::uint8_t>(col);
            frame[3 * p + 2] = 7;
        }
    }
    RgbGrid rgb(cells);
    LumaGrid luma(cells);
    convertFrame(frame, rgb, luma);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const RgbCell cell = rgb[y * width + x];
            EXPECT_EQ(cell.b, height - 1 - y) << x << "," << y;
            EXPECT_EQ(cell.g, width - 1 - x) << x << "," << y;
            EXPECT_EQ(cell.r, 7);
        }
    }
    // The buffer's first pixel (bottom-left as the camera sees it) is the grid's bottom-right.
    EXPECT_EQ(rgb[cells - 1].b, 0);
    EXPECT_EQ(rgb[cells - 1].g, 0);
}

}  // namespace
}  // namespace tavlomi
