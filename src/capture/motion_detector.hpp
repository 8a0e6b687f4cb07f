#pragma once

// Frame differencing: marks the cells whose luminance changed by more than the threshold since
// the previous frame. One frame of history, no averaging.

#include <cstdint>
#include <span>
#include <vector>

#include "common/grid.hpp"
#include "common/simd_level.hpp"
#include "common/worker_pool.hpp"

namespace tavlomi {

// For every cell: mask becomes 1 where |luma - previous| > threshold, else 0; then previous takes
// luma. Any threshold is accepted: below 0 marks every cell, 255 or above none. All three spans
// have the same size. One cell at a time: the reference.
void markMotionReference(std::span<const std::uint8_t> luma, std::span<std::uint8_t> previous,
                         std::span<std::uint8_t> mask, int threshold);

// The same marking at one instruction level.
struct MotionKernels {
    decltype(&markMotionReference) mark;
};
// level must be one this processor supports.
const MotionKernels& motionKernels(SimdLevel level);

class MotionDetector {
  public:
    // The previous luminance and the mask start all zero, so the first frame is compared
    // against black. The marking runs on pool's threads; pool must outlive the detector. level
    // chooses the loop (one this processor supports); every level and thread count gives the
    // same mask.
    MotionDetector(int cellCount, WorkerPool& pool, SimdLevel level = bestSimdLevel());

    // luma holds at least cellCount cells; any threshold is accepted.
    void detect(const LumaGrid& luma, int motionThreshold);

    // Rewritten in place by detect(), so the reference stays valid for the life of the object.
    const MotionMask& motionMask() const { return mask_; }

  private:
    int cellCount_;
    WorkerPool& pool_;
    const MotionKernels& kernels_;
    std::vector<std::uint8_t> previousLuma_;
    MotionMask mask_;
};

}  // namespace tavlomi
