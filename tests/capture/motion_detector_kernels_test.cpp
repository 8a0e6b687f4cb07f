// The fast motion detection against the plain one on random frames of every cell count up to
// 67 x 9 and a few large ones, with thresholds on both sides of every edge.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "capture/motion_detector.hpp"

namespace tavlomi {
namespace {

TEST(MotionDetectorKernels, RandomFramesMatchThePlainLoopAtEveryLevel) {
    std::vector<int> counts = {1920 * 3 + 17, 4096, 4095};
    for (int cells = 1; cells <= 67 * 9; ++cells)
        counts.push_back(cells);
    std::mt19937 random(11);
    for (int cells : counts) {
        for (int threshold : {INT_MIN, -1000, -2, -1, 0, 1, 14, 15, 253, 254, 255, 256, INT_MAX}) {
            MotionDetector plain(cells);
            std::vector<MotionDetector> fast(supportedSimdLevels().size(), MotionDetector(cells));
            LumaGrid frame(cells, 0);
            // Any byte (255 too, which the luminance never reaches); changes around the
            // threshold as a camera gives them; the same picture again.
            for (int kind : {0, 1, 2, 0, 1}) {
                for (std::uint8_t& cell : frame) {
                    if (kind == 0) cell = static_cast<std::uint8_t>(random());
                    if (kind == 1)
                        cell = static_cast<std::uint8_t>(
                            std::clamp(cell + static_cast<int>(random() % 41) - 20, 0, 254));
                }
                plain.detectPlain(frame, threshold);
                for (std::size_t i = 0; i < fast.size(); ++i) {
                    fast[i].detect(frame, threshold, supportedSimdLevels()[i]);
                    ASSERT_EQ(fast[i].motionMask(), plain.motionMask())
                        << "level " << i << " cells " << cells << " threshold " << threshold
                        << " kind " << kind;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tavlomi
