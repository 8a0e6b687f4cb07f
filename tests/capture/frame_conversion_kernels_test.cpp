// The fast conversion against the plain one: every colour, every cell count up to 67 x 9 and a
// few large ones, and no write outside the grids.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "capture/frame_conversion.hpp"

namespace tavlomi {
namespace {

TEST(FrameConversionKernels, EveryColourMatchesTheDoubleSum) {
    // One frame per red level holding every green and blue; cell k holds pixel 65535 - k.
    constexpr std::size_t kCells = 256 * 256;
    std::vector<std::uint8_t> frame(3 * kCells);
    RgbGrid rgb(kCells);
    LumaGrid luma(kCells);
    long long mismatches = 0;
    for (int r = 0; r < 256; ++r) {
        for (std::size_t p = 0; p < kCells; ++p) {
            frame[3 * p] = static_cast<std::uint8_t>(p & 0xFF);
            frame[3 * p + 1] = static_cast<std::uint8_t>(p >> 8);
            frame[3 * p + 2] = static_cast<std::uint8_t>(r);
            mismatches += luminanceFixed(r, p >> 8, p & 0xFF) != luminance(r, p >> 8, p & 0xFF);
        }
        for (SimdLevel level : supportedSimdLevels()) {
            convertFrame(frame, rgb, luma, level);
            for (std::size_t k = 0; k < kCells; ++k) {
                const int p = static_cast<int>(kCells - 1 - k), g = p >> 8, b = p & 0xFF;
                mismatches += pixelWord(rgb[k]) != pixelWord(r, g, b) || rgb[k].unused != 0 ||
                              luma[k] != luminance(r, g, b);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FrameConversionKernels, RandomFramesOfEveryCellCountMatchThePlainLoop) {
    std::vector<std::size_t> counts = {1920 * 3 + 5, 4095, 4096, 4097};
    for (std::size_t n = 0; n <= 67 * 9; ++n)
        counts.push_back(n);
    constexpr std::size_t kGuard = 40;
    constexpr std::uint8_t kByte = 0xA5;
    std::mt19937 random(7);
    for (std::size_t cells : counts) {
        // Exactly sized, so that a read past the frame is caught by the sanitizer build.
        std::vector<std::uint8_t> frame(3 * cells);
        for (std::uint8_t& byte : frame)
            byte = static_cast<std::uint8_t>(random());
        RgbGrid plainRgb(cells);
        LumaGrid plainLuma(cells);
        convertFramePlain(frame, plainRgb, plainLuma);
        for (SimdLevel level : supportedSimdLevels()) {
            // The grids lie inside larger buffers whose guard cells must keep their bytes.
            RgbGrid rgb(cells + kGuard, RgbCell{kByte, kByte, kByte, kByte});
            LumaGrid luma(cells + kGuard, kByte);
            convertFrame(frame, std::span(rgb).first(cells), std::span(luma).first(cells), level);
            for (std::size_t k = 0; k < cells + kGuard; ++k) {
                const RgbCell want = k < cells ? plainRgb[k] : RgbCell{kByte, kByte, kByte, kByte};
                ASSERT_TRUE(pixelWord(rgb[k]) == pixelWord(want) && rgb[k].unused == want.unused &&
                            luma[k] == (k < cells ? plainLuma[k] : kByte))
                    << "level " << static_cast<int>(level) << " cells " << cells << " k " << k;
            }
        }
    }
}

}  // namespace
}  // namespace tavlomi
