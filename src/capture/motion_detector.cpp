#include "capture/motion_detector.hpp"

#include <cstdlib>

namespace tavlomi {

MotionDetector::MotionDetector(int cellCount)
    : cellCount_(cellCount), previousLuma_(cellCount, 0), mask_(cellCount, 0) {}

void MotionDetector::detect(const LumaGrid& luma, int motionThreshold) {
    for (int i = 0; i < cellCount_; ++i) {
        const int d = int{luma[i]} - int{previousLuma_[i]};
        mask_[i] = std::abs(d) > motionThreshold ? 1 : 0;
        previousLuma_[i] = luma[i];
    }
}

}  // namespace tavlomi
