#include "capture/frame_conversion.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/kernel_sweep.hpp"

namespace tavlomi {
namespace {

std::vector<std::uint32_t> words(const RgbGrid& rgb) {
    std::vector<std::uint32_t> all;
    for (const RgbCell& cell : rgb)
        all.push_back(cellWord(cell));
    return all;
}

TEST(FrameConversion, WorkedLuminancesUprightAndMirrored) {
    const int cases[][4] = {{0, 0, 0, 0},     {255, 255, 255, 254}, {255, 0, 0, 54},
                            {0, 255, 0, 182}, {0, 0, 255, 18},      {15, 15, 15, 14},
                            {16, 16, 16, 15}, {200, 100, 50, 117},  {30, 20, 10, 21}};
    for (auto [r, g, b, luma] : cases)
        EXPECT_EQ(luminance(r, g, b), luma) << r << "," << g << "," << b;
    // The buffer is bottom-up and the picture mirrored: the last three bytes 10, 20, 30 are
    // cell 0, the grid's top-left, and the first pixel, the picture's bottom-left, the last cell.
    const std::vector<std::uint8_t> frame = {1, 2, 3, 4, 5, 6, 10, 20, 30};
    RgbGrid rgb(3);
    LumaGrid luma(3);
    convertFrameReference(frame, rgb, luma);
    EXPECT_EQ(words(rgb), (std::vector<std::uint32_t>{0x1E140A, 0x060504, 0x030201}));
    EXPECT_EQ(luma, (LumaGrid{21, 5, 2}));
}

TEST(FrameConversion, EveryColourAtEveryLevelGivesTheDoubleSum) {
    // One frame per red level holding every green and blue; cell k holds pixel 65535 - k.
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
            frameConversionKernels(level).convert(frame, rgb, luma);
            for (int k = 0; k < kCells; ++k) {
                const int p = kCells - 1 - k, g = p >> 8, b = p & 0xFF;
                mismatches += cellWord(rgb[k]) != (pixelWord(r, g, b) & 0xFFFFFFu) ||
                              luma[k] != luminance(r, g, b);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FrameConversion, EveryLevelMatchesTheReferenceAndWritesOnlyTheGrids) {
    struct Input {
        std::size_t cells;
        std::vector<std::uint8_t> frame;
    };
    // The grids lie at the front of buffers 40 cells longer, whose guard cells must keep 0xA5.
    const auto convert = [](const Input& in, decltype(&convertFrameReference) kernel) {
        RgbGrid rgb(in.cells + 40, RgbCell{0xA5, 0xA5, 0xA5, 0xA5});
        LumaGrid luma(in.cells + 40, 0xA5);
        kernel(in.frame, std::span(rgb).first(in.cells), std::span(luma).first(in.cells));
        return std::pair{words(rgb), luma};
    };
    sweepKernel(
        [](GridSize size, std::mt19937& random) {
            // Exactly sized, so that a read past the frame is caught by the sanitizer build.
            return Input{size.cells(), randomCells<std::uint8_t>(3 * size.cells(), 0, 255, random)};
        },
        [&](const Input& in) { return convert(in, convertFrameReference); },
        [&](const Input& in, SimdLevel level) {
            return convert(in, frameConversionKernels(level).convert);
        });
}

}  // namespace
}  // namespace tavlomi
