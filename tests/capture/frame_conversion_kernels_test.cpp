// The fast conversion against the plain one: every colour, every cell count up to a few rows of
// odd widths, and no write outside the grids.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "capture/frame_conversion.hpp"

namespace tavlomi {
namespace {

std::string levelName(SimdLevel level) {
    return level == SimdLevel::Avx2 ? "avx2" : "portable";
}

TEST(FrameConversionKernels, EveryColourMatchesTheDoubleSum) {
    // One frame per red level, holding every green and blue; in the grid, cell k holds the pixel
    // cellCount - 1 - k, so its colour is known from k.
    constexpr std::size_t kCells = 256 * 256;
    std::vector<std::uint8_t> frame(3 * kCells);
    std::vector<std::uint8_t> expectedLuma(kCells);
    RgbGrid rgb(kCells);
    LumaGrid luma(kCells);
    long long fixedMismatches = 0;
    long long kernelMismatches = 0;
    for (int r = 0; r < 256; ++r) {
        for (std::size_t p = 0; p < kCells; ++p) {
            const int g = static_cast<int>(p >> 8);
            const int b = static_cast<int>(p & 0xFF);
            frame[3 * p] = static_cast<std::uint8_t>(b);
            frame[3 * p + 1] = static_cast<std::uint8_t>(g);
            frame[3 * p + 2] = static_cast<std::uint8_t>(r);
            const int exact = luminance(r, g, b);
            expectedLuma[kCells - 1 - p] = static_cast<std::uint8_t>(exact);
            if (luminanceFixed(r, g, b) != exact) ++fixedMismatches;
        }
        for (SimdLevel level : supportedSimdLevels()) {
            convertFrame(frame, rgb, luma, level);
            for (std::size_t k = 0; k < kCells; ++k) {
                const std::size_t p = kCells - 1 - k;
                const RgbCell cell = rgb[k];
                const bool same = luma[k] == expectedLuma[k] && cell.r == r && cell.g == (p >> 8) &&
                                  cell.b == (p & 0xFF) && cell.unused == 0;
                if (!same) ++kernelMismatches;
            }
        }
    }
    EXPECT_EQ(fixedMismatches, 0);
    EXPECT_EQ(kernelMismatches, 0);
}

TEST(FrameConversionKernels, WorkedValuesAtEveryLevel) {
    // 40 cells, so both the vector blocks and the remainder are used.
    constexpr std::size_t kCells = 40;
    struct Case {
        int r, g, b, luma;
    };
    const Case cases[] = {{0, 0, 0, 0},     {255, 255, 255, 254}, {255, 0, 0, 54},
                          {0, 255, 0, 182}, {0, 0, 255, 18},      {15, 15, 15, 14},
                          {16, 16, 16, 15}, {200, 100, 50, 117},  {30, 20, 10, 21}};
    std::vector<std::uint8_t> frame(3 * kCells);
    for (std::size_t p = 0; p < kCells; ++p) {
        const Case& c = cases[p % std::size(cases)];
        frame[3 * p] = static_cast<std::uint8_t>(c.b);
        frame[3 * p + 1] = static_cast<std::uint8_t>(c.g);
        frame[3 * p + 2] = static_cast<std::uint8_t>(c.r);
    }
    for (SimdLevel level : supportedSimdLevels()) {
        RgbGrid rgb(kCells);
        LumaGrid luma(kCells);
        convertFrame(frame, rgb, luma, level);
        for (std::size_t k = 0; k < kCells; ++k) {
            const Case& c = cases[(kCells - 1 - k) % std::size(cases)];
            EXPECT_EQ(rgb[k].r, c.r) << levelName(level) << " cell " << k;
            EXPECT_EQ(rgb[k].g, c.g) << levelName(level) << " cell " << k;
            EXPECT_EQ(rgb[k].b, c.b) << levelName(level) << " cell " << k;
            EXPECT_EQ(luma[k], c.luma) << levelName(level) << " cell " << k;
        }
    }
}

TEST(FrameConversionKernels, RandomFramesOfEveryCellCountMatchThePlainLoop) {
    std::mt19937 random(7);
    std::vector<std::size_t> counts;
    for (std::size_t n = 0; n <= 67 * 9; ++n)
        counts.push_back(n);
    for (std::size_t n : {1920u * 3 + 5, 4096u, 4097u, 4095u})
        counts.push_back(n);
    constexpr std::size_t kGuard = 40;
    constexpr std::uint8_t kGuardByte = 0xA5;
    for (std::size_t cells : counts) {
        // Exactly sized, so a read past the frame is caught by the sanitizer build.
        std::vector<std::uint8_t> frame(3 * cells);
        for (std::uint8_t& byte : frame)
            byte = static_cast<std::uint8_t>(random());
        RgbGrid plainRgb(cells);
        LumaGrid plainLuma(cells);
        convertFramePlain(frame, plainRgb, plainLuma);
        for (SimdLevel level : supportedSimdLevels()) {
            // Grids inside larger buffers whose guard cells must stay as they were.
            RgbGrid rgb(cells + kGuard, RgbCell{kGuardByte, kGuardByte, kGuardByte, kGuardByte});
            LumaGrid luma(cells + kGuard, kGuardByte);
            convertFrame(frame, std::span(rgb).first(cells), std::span(luma).first(cells), level);
            for (std::size_t k = 0; k < cells; ++k) {
                ASSERT_EQ(pixelWord(rgb[k]), pixelWord(plainRgb[k]))
                    << levelName(level) << " cells " << cells << " k " << k;
                ASSERT_EQ(rgb[k].unused, 0) << levelName(level) << " cells " << cells;
                ASSERT_EQ(luma[k], plainLuma[k])
                    << levelName(level) << " cells " << cells << " k " << k;
            }
            for (std::size_t k = cells; k < cells + kGuard; ++k) {
                ASSERT_EQ(rgb[k].unused, kGuardByte) << levelName(level) << " cells " << cells;
                ASSERT_EQ(rgb[k].r, kGuardByte) << levelName(level) << " cells " << cells;
                ASSERT_EQ(luma[k], kGuardByte) << levelName(level) << " cells " << cells;
            }
        }
    }
}

}  // namespace
}  // namespace tavlomi
