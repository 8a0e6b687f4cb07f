#include "capture/motion_detector.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tavlomi {
namespace {

TEST(MotionDetector, MarksChangesBeyondTheThresholdSinceTheLastFrameOnly) {
    // A threshold, frames one after another (the first compared against black) and the mask
    // after each. Run plainly and at every level.
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
    std::vector<int> ways = {-1};  // -1: detectPlain; else a SimdLevel
    for (SimdLevel level : supportedSimdLevels())
        ways.push_back(static_cast<int>(level));
    for (const auto& c : cases) {
        for (int way : ways) {
            MotionDetector detector(static_cast<int>(c.frames[0].size()));
            EXPECT_EQ(detector.motionMask(), MotionMask(c.frames[0].size(), 0));
            const std::uint8_t* const storage = detector.motionMask().data();
            for (std::size_t f = 0; f < c.frames.size(); ++f) {
                if (way < 0) detector.detectPlain(c.frames[f], c.threshold);
                if (way >= 0)
                    detector.detect(c.frames[f], c.threshold, static_cast<SimdLevel>(way));
                EXPECT_EQ(detector.motionMask(), c.masks[f])
                    << "threshold " << c.threshold << " frame " << f << " way " << way;
            }
            EXPECT_EQ(detector.motionMask().data(), storage);  // rewritten in place
        }
    }
}

}  // namespace
}  // namespace tavlomi
