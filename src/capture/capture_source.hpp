#pragma once

// The toy's only link to the camera: owns the frame buffer and the two shared grids, and on each
// grabFrame() converts the newest frame of its FrameSource into the grids, from the frame buffer
// or from where the source lends it.

#include <cstdint>
#include <vector>

#include "capture/frame_conversion.hpp"
#include "capture/frame_source.hpp"
#include "common/grid.hpp"
#include "common/simd_level.hpp"
#include "common/worker_pool.hpp"

namespace tavlomi {

class CaptureSource {
  public:
    // The grids are allocated here once and only rewritten in place afterwards, so references
    // handed out stay valid for the life of the object. source and pool must outlive this object;
    // the conversion runs on pool's threads. level chooses the conversion loop (one this
    // processor supports); every level and thread count gives the same grids.
    CaptureSource(int width, int height, FrameSource& source, WorkerPool& pool,
                  SimdLevel level = bestSimdLevel());

    // Converts the newest frame into both grids if one arrived; otherwise the grids keep the last
    // one (black before the first), which converting it again would give.
    void grabFrame();

    const RgbGrid& getRgbGrid() const { return rgbGrid_; }
    const LumaGrid& getLumaGrid() const { return lumaGrid_; }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    int width_;
    int height_;
    int cellCount_;
    FrameSource& source_;
    WorkerPool& pool_;
    const FrameConversionKernels& kernels_;
    std::vector<std::uint8_t> frameBuffer_;
    RgbGrid rgbGrid_;
    LumaGrid lumaGrid_;
};

}  // namespace tavlomi
