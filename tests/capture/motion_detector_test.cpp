#include "capture/motion_detector.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/portable_rand.hpp"

namespace tavlomi {
namespace {

constexpr int kInitialThreshold = 14;

MotionMask expectMask(std::vector<std::uint8_t> bytes) {
    return bytes;
}

TEST(MotionDetector, StartsWithAnAllZeroMaskOfCellCount) {
    MotionDetector detector(12);
    EXPECT_EQ(detector.motionMask(), MotionMask(12, 0));
}

TEST(MotionDetector, ThresholdEdgesCountBrighteningAndDarkeningAlike) {
    MotionDetector detector(6);
    detector.detect(LumaGrid{100, 100, 100, 100, 100, 100}, kInitialThreshold);
    detector.detect(LumaGrid{114, 86, 115, 85, 100, 254}, kInitialThreshold);
    EXPECT_EQ(detector.motionMask(), expectMask({0, 0, 1, 1, 0, 1}));
    detector.detect(LumaGrid{100, 100, 100, 100, 100, 100}, kInitialThreshold);
    EXPECT_EQ(detector.motionMask(), expectMask({0, 0, 1, 1, 0, 1}));
}

TEST(MotionDetector, FirstFrameIsComparedAgainstBlack) {
    MotionDetector detector(5);
    detector.detect(LumaGrid{0, 14, 15, 100, 254}, kInitialThreshold);
    EXPECT_EQ(detector.motionMask(), expectMask({0, 0, 1, 1, 1}));
}

TEST(MotionDetector, BlackFramesBeforeTheCameraStartsLeaveTheMaskClear) {
    MotionDetector detector(4);
    const LumaGrid black(4, 0);
    for (int frame = 0; frame < 3; ++frame) {
        detector.detect(black, 0);
        EXPECT_EQ(detector.motionMask(), MotionMask(4, 0));
    }
}

TEST(MotionDetector, IdenticalFramesGiveAnAllZeroMask) {
    MotionDetector detector(4);
    const LumaGrid picture{7, 80, 200, 254};
    detector.detect(picture, 0);
    EXPECT_EQ(detector.motionMask(), expectMask({1, 1, 1, 1}));
    detector.detect(picture, 0);
    EXPECT_EQ(detector.motionMask(), MotionMask(4, 0));
}

TEST(MotionDetector, NegativeThresholdMarksEveryCellEvenWithoutChange) {
    MotionDetector detector(4);
    const LumaGrid picture{0, 1, 128, 254};
    for (int frame = 0; frame < 3; ++frame) {
        detector.detect(picture, -1);
        EXPECT_EQ(detector.motionMask(), MotionMask(4, 1)) << frame;
    }
    detector.detect(picture, -100);
    EXPECT_EQ(detector.motionMask(), MotionMask(4, 1));
}

TEST(MotionDetector, ThresholdOf254OrMoreNeverMarks) {
    MotionDetector detector(2);
    const LumaGrid black{0, 0};
    const LumaGrid white{254, 254};
    detector.detect(white, 254);
    EXPECT_EQ(detector.motionMask(), MotionMask(2, 0));
    detector.detect(black, 254);
    EXPECT_EQ(detector.motionMask(), MotionMask(2, 0));
    detector.detect(white, 1000);
    EXPECT_EQ(detector.motionMask(), MotionMask(2, 0));
    // One below still sees the full swing.
    detector.detect(black, 253);
    EXPECT_EQ(detector.motionMask(), MotionMask(2, 1));
}

TEST(MotionDetector, KeepsExactlyOneFrameOfHistory) {
    MotionDetector detector(2);
    detector.detect(LumaGrid{100, 100}, kInitialThreshold);
    detector.detect(LumaGrid{110, 90}, kInitialThreshold);
    EXPECT_EQ(detector.motionMask(), MotionMask(2, 0));
    // 120 - 110 is small although 120 - 100 is not: only the last frame counts.
    detector.detect(LumaGrid{120, 80}, kInitialThreshold);
    EXPECT_EQ(detector.motionMask(), MotionMask(2, 0));
}

TEST(MotionDetector, ThresholdChangeTakesEffectInTheSameFrame) {
    MotionDetector detector(1);
    detector.detect(LumaGrid{50}, kInitialThreshold);
    detector.detect(LumaGrid{60}, kInitialThreshold);
    EXPECT_EQ(detector.motionMask()[0], 0);
    detector.detect(LumaGrid{70}, 9);
    EXPECT_EQ(detector.motionMask()[0], 1);
}

TEST(MotionDetector, MaskHoldsOnlyZeroAndOneAndStaysInPlace) {
    const int cells = 64 * 48;
    MotionDetector detector(cells);
    const MotionMask& mask = detector.motionMask();
    const std::uint8_t* const storage = mask.data();
    PortableRand random;
    LumaGrid luma(cells);
    int marked = 0;
    for (int frame = 0; frame < 20; ++frame) {
        for (auto& cell : luma)
            cell = static_cast<std::uint8_t>(random.rand() % 255);
        detector.detect(luma, frame * 20 - 60);
        ASSERT_EQ(detector.motionMask().data(), storage);
        ASSERT_EQ(mask.size(), static_cast<std::size_t>(cells));
        for (std::uint8_t byte : mask) {
            ASSERT_TRUE(byte == 0 || byte == 1) << int{byte};
            marked += byte;
        }
    }
    EXPECT_GT(marked, 0);
    EXPECT_LT(marked, 20 * cells);
}

}  // namespace
}  // namespace tavlomi
