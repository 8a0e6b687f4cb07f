#include "capture/frame_conversion.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tavlomi {
namespace {

TEST(FrameConversion, WorkedLuminancesUprightAndMirrored) {
    const int cases[][4] = {{0, 0, 0, 0},     {255, 255, 255, 254}, {255, 0, 0, 54},
                            {0, 255, 0, 182}, {0, 0, 255, 18},      {15, 15, 15, 14},
                            {16, 16, 16, 15}, {200, 100, 50, 117},  {30, 20, 10, 21}};
    for (auto [r, g, b, luma] : cases)
        EXPECT_EQ(luminance(r, g, b), luma) << r << "," << g << "," << b;
    // A 2 x 2 picture, upright and mirrored: its top row's last pixel 10, 20, 30 is cell 0, the
    // grid's top-left, and its bottom row's first pixel 1, 2, 3 the last cell. The frame buffer
    // holds the bottom row first; a lent frame may hold the top row first, with padding.
    const std::vector<std::uint8_t> bottomUp = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30};
    const std::vector<std::uint8_t> topDown = {7, 8, 9, 10, 20, 30, 0, 0, 1, 2, 3, 4, 5, 6};
    const std::uint32_t words[] = {0x1E140A, 0x090807, 0x060504, 0x030201};
    for (const FrameView& frame : {frameBufferView(bottomUp, 2),
                                   FrameView{topDown.data(), 8, FrameView::RowOrder::TopDown}}) {
        RgbGrid rgb(4);
        LumaGrid luma(4);
        convertFrameReference(frame, 2, 2, allRows(2), rgb, luma);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(cellWord(rgb[k]), words[k]) << k;
        EXPECT_EQ(luma, (LumaGrid{21, 8, 5, 2}));
    }
}

TEST(FrameConversion, EveryColourAtEveryLevelGivesTheDoubleSum) {
    // One 256 x 256 frame per red level holding every green and blue; cell k holds pixel
    // 65535 - k.
    constexpr int kCells = 256 * 256;
    std::vector<std::uint8_t> frame(3 * kCells);
    RgbGrid rgb(kCells);
    LumaGrid luma(kCells);
    long long mismatches = 0;
    for (int r = 0; r < 256; ++r) {
        for (int p = 0; p < kCells; ++p) {
            frame[3 * p] = static_cast<std::uint8_t>(p & 0xFF);
            frame[3 * p + 1] = static_cast<std::uint8_t>(p >> 8);
            frame[3 * p + 2] = static_cast<std::uint8_t>(r);
        }
        for (SimdLevel level : supportedSimdLevels()) {
            frameConversionKernels(level).convert(frameBufferView(frame, 256), 256, 256,
                                                  allRows(256), rgb, luma);
            for (int k = 0; k < kCells; ++k) {
                const int p = kCells - 1 - k, g = p >> 8, b = p & 0xFF;
                mismatches += cellWord(rgb[k]) != (pixelWord(r, g, b) & 0xFFFFFFu) ||
                              luma[k] != luminance(r, g, b);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace tavlomi
