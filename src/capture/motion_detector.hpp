#pragma once

// Frame differencing: marks the cells whose luminance changed by more than the threshold since
// the previous frame. One frame of history, no averaging.

#include <cstdint>
#include <vector>

#include "common/grid.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

class MotionDetector {
  public:
    // The previous luminance and the mask start all zero, so the first frame is compared
    // against black.
    explicit MotionDetector(int cellCount);

    // luma holds at least cellCount cells. Any threshold is accepted: below 0 marks every cell,
    // 254 or above marks none (255 or above for luminance bytes of 255). level must be one this
    // processor supports; every level gives the same mask.
    void detect(const LumaGrid& luma, int motionThreshold, SimdLevel level = bestSimdLevel());
    // One cell at a time: the reference for detect.
    void detectPlain(const LumaGrid& luma, int motionThreshold);

    // Rewritten in place by detect(), so the reference stays valid for the life of the object.
    const MotionMask& motionMask() const { return mask_; }

  private:
    int cellCount_;
    std::vector<std::uint8_t> previousLuma_;
    MotionMask mask_;
};

}  // namespace tavlomi
