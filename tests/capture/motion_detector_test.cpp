#include "capture/motion_detector.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <tuple>
#include <vector>

#include "support/kernel_sweep.hpp"

namespace tavlomi {
namespace {

TEST(MotionDetector, MarksChangesBeyondTheThresholdSinceTheLastFrameOnly) {
    // A threshold, frames one after another (the first compared against black) and the mask
    // after each.
    const struct {
        int threshold;
        std::vector<LumaGrid> frames;
        std::vector<MotionMask> masks;
    } cases[] = {
        // 14 either way leaves a cell 0, 15 either way marks it; back again marks it again.
        {14,
         {{100, 100, 100, 100}, {114, 86, 115, 85}, {100, 100, 100, 100}},
         {{1, 1, 1, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}}},
        // The first picture marks every cell of luminance 15 or more.
        {14, {{0, 14, 15, 100, 254, 0}}, {{0, 0, 1, 1, 1, 0}}},
        // One frame of history: 120 after 110 is no motion although 120 - 100 would be.
        {14, {{100, 100}, {110, 90}, {120, 80}}, {{1, 1}, {0, 0}, {0, 0}}},
        // Black frames before the camera starts give nothing, nor do two identical frames.
        {0, {{0, 0, 0}, {7, 80, 254}, {7, 80, 254}}, {{0, 0, 0}, {1, 1, 1}, {0, 0, 0}}},
        // Below 0 every cell counts, even unchanged.
        {-1, {{0, 1, 254}, {0, 1, 254}}, {{1, 1, 1}, {1, 1, 1}}},
        {-100, {{0, 1, 254}}, {{1, 1, 1}}},
        // 254 or more never marks; 253 still sees the full swing.
        {254, {{254, 254}, {0, 0}}, {{0, 0}, {0, 0}}},
        {1000, {{254, 254}, {0, 0}}, {{0, 0}, {0, 0}}},
        {253, {{254, 254}, {0, 0}}, {{1, 1}, {1, 1}}},
    };
    WorkerPool pool(1);
    for (const auto& c : cases) {
        MotionDetector detector(static_cast<int>(c.frames[0].size()), pool);
        EXPECT_EQ(detector.motionMask(), MotionMask(c.frames[0].size(), 0));
        const std::uint8_t* const storage = detector.motionMask().data();
        for (std::size_t f = 0; f < c.frames.size(); ++f) {
            detector.detect(c.frames[f], c.threshold);
            EXPECT_EQ(detector.motionMask(), c.masks[f])
                << "threshold " << c.threshold << " frame " << f;
        }
        EXPECT_EQ(detector.motionMask().data(), storage);  // rewritten in place
    }
}

TEST(MotionDetector, EveryLevelAndThreadCountMatchesTheReference) {
    struct Input {
        std::vector<std::uint8_t> luma, previous;
        int threshold;
    };
    // The masks of luma after previous and of luma again, which shows what previous became.
    const auto reference = [](const Input& in) {
        std::vector<std::uint8_t> previous = in.previous, mask(in.luma.size(), 7);
        markMotionReference(in.luma, previous, mask, in.threshold);
        std::vector<std::uint8_t> again(in.luma.size(), 7);
        markMotionReference(in.luma, previous, again, in.threshold);
        return std::tuple{mask, again};
    };
    const auto detect = [](const Input& in, SimdLevel level, WorkerPool& pool) {
        MotionDetector detector(static_cast<int>(in.luma.size()), pool, level);
        detector.detect(in.previous, in.threshold);
        detector.detect(in.luma, in.threshold);
        const MotionMask mask = detector.motionMask();
        detector.detect(in.luma, in.threshold);
        return std::tuple{mask, detector.motionMask()};
    };
    const int thresholds[] = {INT_MIN, -1000, -2, -1, 0, 1, 14, 15, 253, 254, 255, 256, INT_MAX};
    sweepThreaded(
        [&](GridSize size, std::mt19937& random) {
            // Any byte (255 too, which the luminance never reaches), or changes around the
            // threshold as a camera gives them.
            Input in{{},
                     randomCells<std::uint8_t>(size.cells(), 0, 255, random),
                     thresholds[random() % std::size(thresholds)]};
            const bool near = random() % 2 == 0;
            for (std::uint8_t before : in.previous) {
                const int change = static_cast<int>(random() % 41) - 20;
                in.luma.push_back(static_cast<std::uint8_t>(
                    near ? std::clamp(before + change, 0, 255) : random() % 256));
            }
            return in;
        },
        reference, detect);
}

}  // namespace
}  // namespace tavlomi
