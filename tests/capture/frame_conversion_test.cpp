#include "capture/frame_conversion.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tavlomi {
namespace {

TEST(FrameConversion, WorkedLuminancesInEveryForm) {
    const int cases[][4] = {{0, 0, 0, 0},     {255, 255, 255, 254}, {255, 0, 0, 54},
                            {0, 255, 0, 182}, {0, 0, 255, 18},      {15, 15, 15, 14},
                            {16, 16, 16, 15}, {200, 100, 50, 117},  {30, 20, 10, 21}};
    // 40 cells, so that whole vector blocks and a remainder are used; pixel p holds case p % 9.
    std::vector<std::uint8_t> frame(3 * 40);
    for (int p = 0; p < 40; ++p) {
        const auto [r, g, b, luma] = cases[p % 9];
        frame[3 * p] = static_cast<std::uint8_t>(b);
        frame[3 * p + 1] = static_cast<std::uint8_t>(g);
        frame[3 * p + 2] = static_cast<std::uint8_t>(r);
        EXPECT_EQ(luminance(r, g, b), luma) << r << "," << g << "," << b;
        EXPECT_EQ(luminanceFixed(r, g, b), luma) << r << "," << g << "," << b;
    }
    for (SimdLevel level : supportedSimdLevels()) {
        RgbGrid rgb(40);
        LumaGrid luma(40);
        convertFrame(frame, rgb, luma, level);
        for (int k = 0; k < 40; ++k) {
            const auto [r, g, b, y] = cases[(39 - k) % 9];  // cell k takes pixel 39 - k
            EXPECT_EQ(pixelWord(rgb[k]), pixelWord(r, g, b)) << "cell " << k;
            EXPECT_EQ(luma[k], y) << "cell " << k;
        }
    }
    for (int v = 1; v <= 255; ++v)
        EXPECT_EQ(luminance(v, v, v), v - 1) << v;
}

TEST(FrameConversion, PictureIsUprightAndMirrored) {
    // Each buffer pixel carries its buffer row in blue and its column in green. The buffer is
    // bottom-up, so cell (x, y) takes buffer row height - 1 - y, column width - 1 - x: the first
    // pixel lands in the last cell and the last pixel in cell 0.
    const int width = 5, height = 4;
    std::vector<std::uint8_t> frame(3 * width * height);
    for (int p = 0; p < width * height; ++p) {
        frame[3 * p] = static_cast<std::uint8_t>(p / width);
        frame[3 * p + 1] = static_cast<std::uint8_t>(p % width);
        frame[3 * p + 2] = 7;
    }
    RgbGrid rgb(width * height);
    LumaGrid luma(width * height);
    convertFrame(frame, rgb, luma);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(pixelWord(rgb[y * width + x]), pixelWord(7, width - 1 - x, height - 1 - y))
                << x << "," << y;
}

}  // namespace
}  // namespace tavlomi
