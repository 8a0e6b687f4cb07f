// The fast motion detection against the plain one on random frames at odd sizes and thresholds
// on both sides of every edge.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "capture/motion_detector.hpp"

namespace tavlomi {
namespace {

std::string levelName(SimdLevel level) {
    return level == SimdLevel::Avx2 ? "avx2" : "portable";
}

const int kThresholds[] = {INT_MIN, -1000, -2, -1, 0, 1, 14, 15, 253, 254, 255, 256, 1000, INT_MAX};

// A frame like the last one with some cells changed by small or large amounts, or a fresh one.
LumaGrid nextFrame(const LumaGrid& last, std::mt19937& random, int kind) {
    LumaGrid frame = last;
    for (std::uint8_t& cell : frame) {
        switch (kind) {
            case 0:  // Anything, including 255, which the luminance never reaches.
                cell = static_cast<std::uint8_t>(random());
                break;
            case 1:  // Camera-like: mostly small changes around the threshold.
                cell = static_cast<std::uint8_t>(
                    std::clamp(int{cell} + static_cast<int>(random() % 41) - 20, 0, 254));
                break;
            default:  // The same picture again.
                break;
        }
    }
    return frame;
}

TEST(MotionDetectorKernels, RandomFramesAtOddSizesMatchThePlainLoop) {
    std::mt19937 random(11);
    for (int height = 1; height <= 9; ++height) {
        for (int width = 1; width <= 67; ++width) {
            const int cells = width * height;
            for (int threshold : kThresholds) {
                MotionDetector plain(cells);
                std::vector<MotionDetector> fast;
                for (std::size_t i = 0; i < supportedSimdLevels().size(); ++i)
                    fast.emplace_back(cells);
                LumaGrid frame(static_cast<std::size_t>(cells), 0);
                for (int kind : {0, 1, 2, 0, 1}) {
                    frame = nextFrame(frame, random, kind);
                    plain.detectPlain(frame, threshold);
                    for (std::size_t i = 0; i < fast.size(); ++i) {
                        const SimdLevel level = supportedSimdLevels()[i];
                        fast[i].detect(frame, threshold, level);
                        ASSERT_EQ(fast[i].motionMask(), plain.motionMask())
                            << levelName(level) << " " << width << "x" << height << " threshold "
                            << threshold << " kind " << kind;
                    }
                }
            }
        }
    }
}

TEST(MotionDetectorKernels, LargeGridAgreesAtEveryLevel) {
    // Many whole vector blocks and a remainder; the first frame is compared against black.
    constexpr int kCells = 1920 * 3 + 17;
    std::mt19937 random(5);
    for (int threshold : {-1, 0, 14, 253, 254}) {
        MotionDetector plain(kCells);
        std::vector<MotionDetector> fast;
        for (std::size_t i = 0; i < supportedSimdLevels().size(); ++i)
            fast.emplace_back(kCells);
        LumaGrid frame(kCells, 0);
        for (int kind : {1, 0, 2, 1}) {
            frame = nextFrame(frame, random, kind);
            plain.detectPlain(frame, threshold);
            for (std::size_t i = 0; i < fast.size(); ++i) {
                fast[i].detect(frame, threshold, supportedSimdLevels()[i]);
                ASSERT_EQ(fast[i].motionMask(), plain.motionMask())
                    << levelName(supportedSimdLevels()[i]) << " threshold " << threshold;
            }
        }
    }
}

TEST(MotionDetectorKernels, ThresholdEdgesAtEveryLevel) {
    // 40 cells, so both a vector block and the remainder are used; the pattern repeats every
    // 8 cells: changes of 14 and 15 either way, 0, 254 both ways and 1.
    const std::uint8_t before[8] = {100, 100, 100, 100, 100, 0, 254, 50};
    const std::uint8_t after[8] = {114, 86, 115, 85, 100, 254, 0, 51};
    const std::uint8_t at14[8] = {0, 0, 1, 1, 0, 1, 1, 0};
    const std::uint8_t at253[8] = {0, 0, 0, 0, 0, 1, 1, 0};
    for (SimdLevel level : supportedSimdLevels()) {
        for (int threshold : {-1, 14, 253, 254}) {
            MotionDetector detector(40);
            LumaGrid first(40), second(40);
            for (int i = 0; i < 40; ++i) {
                first[i] = before[i % 8];
                second[i] = after[i % 8];
            }
            detector.detect(first, threshold, level);
            detector.detect(second, threshold, level);
            for (int i = 0; i < 40; ++i) {
                const int expected = threshold < 0      ? 1
                                     : threshold == 14  ? at14[i % 8]
                                     : threshold == 253 ? at253[i % 8]
                                                        : 0;
                EXPECT_EQ(detector.motionMask()[i], expected)
                    << levelName(level) << " threshold " << threshold << " cell " << i;
            }
        }
    }
}

}  // namespace
}  // namespace tavlomi
