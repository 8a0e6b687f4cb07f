// The plain view's fast copy against the plain loop: every length up to a few vectors, random
// cells whose unused byte holds anything, and the words of the worked example.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "effects/show_motion.hpp"

namespace tavlomi {
namespace {

TEST(OpaquePixels, FastCopyMatchesThePlainLoopAtEveryLength) {
    std::mt19937 random(61);
    constexpr std::uint32_t kUntouched = 0x12345678u;
    for (std::size_t count : {0, 1, 2, 7, 8, 9, 15, 16, 17, 31, 33, 67, 1000, 1921}) {
        RgbGrid rgb(count);
        for (RgbCell& cell : rgb) {
            // The unused byte is 0 in every grid the camera fills; any value must still give
            // an opaque word.
            cell =
                RgbCell{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                        static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random())};
        }
        std::vector<std::uint32_t> expected(count + 1, kUntouched);
        opaquePixelsPlain(rgb, std::span(expected).first(count));
        for (SimdLevel level : supportedSimdLevels()) {
            std::vector<std::uint32_t> pixels(count + 1, kUntouched);
            opaquePixels(rgb, std::span(pixels).first(count), level);
            ASSERT_EQ(pixels, expected) << count << " cells, level " << static_cast<int>(level);
            ASSERT_EQ(pixels[count], kUntouched);
        }
    }
}

TEST(OpaquePixels, WordsAreOpaqueRedGreenBlue) {
    const RgbGrid rgb = {
        makeRgbCell(200, 100, 50),  makeRgbCell(0, 0, 0),   RgbCell{3, 2, 1, 0x7F},
        makeRgbCell(255, 255, 255), makeRgbCell(1, 2, 3),   makeRgbCell(9, 8, 7),
        makeRgbCell(0, 0, 255),     makeRgbCell(0, 255, 0), makeRgbCell(255, 0, 0)};
    const std::vector<std::uint32_t> expected = {0xFFC86432, 0xFF000000, 0xFF010203,
                                                 0xFFFFFFFF, 0xFF010203, 0xFF090807,
                                                 0xFF0000FF, 0xFF00FF00, 0xFFFF0000};
    for (SimdLevel level : supportedSimdLevels()) {
        std::vector<std::uint32_t> pixels(rgb.size(), 0);
        opaquePixels(rgb, pixels, level);
        EXPECT_EQ(pixels, expected) << static_cast<int>(level);
    }
}

}  // namespace
}  // namespace tavlomi
