#include "effects/show_motion.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "support/recording_status.hpp"

namespace tavlomi {
namespace {

TEST(ShowMotion, RendersEveryCellAsAnOpaqueWordAndIgnoresKeysAndTheBall) {
    RecordingStatus status;
    RgbGrid rgb(6);
    rgb[0] = makeRgbCell(200, 100, 50);
    rgb[4] = makeRgbCell(255, 255, 255);
    rgb[5] = RgbCell{3, 2, 1, 0x7F};  // the unused byte never reaches the picture
    WorkerPool pool(1);
    ShowMotion effect(3, 2, rgb, status, pool);
    effect.handleKey(32);
    effect.handleKey(102);
    effect.ballMoved(1, 1);
    effect.update();
    std::vector<std::uint32_t> pixels(6, 0x12345678);
    effect.render(pixels);
    EXPECT_EQ(pixels, (std::vector<std::uint32_t>{0xFFC86432, 0xFF000000, 0xFF000000, 0xFF000000,
                                                  0xFFFFFFFF, 0xFF010203}));
    EXPECT_EQ(status.text(), "< ShowMotion responding to Ball >\n");
}

TEST(ShowMotion, CopiesRunsOfEveryLengthAndNothingBeyond) {
    std::mt19937 random(61);
    for (std::size_t count : {0, 1, 7, 8, 9, 15, 16, 17, 31, 33, 67, 1000, 1921}) {
        RgbGrid rgb(count);
        std::vector<std::uint32_t> expected(count + 1, 0x12345678u), pixels = expected;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t word = random();  // 0xUURRGGBB
            rgb[i] = RgbCell{static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                             static_cast<std::uint8_t>(word >> 16), 0x7F};
            expected[i] = 0xFF000000u | (word & 0xFFFFFFu);
        }
        opaquePixels(rgb, std::span(pixels).first(count));
        ASSERT_EQ(pixels, expected) << count;
    }
}

}  // namespace
}  // namespace tavlomi
