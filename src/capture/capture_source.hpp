#pragma once

// The toy's only link to the camera: owns the frame buffer and the two shared grids, and on each
// grabFrame() copies the newest frame from its FrameSource and converts it into the grids.

#include <cstdint>
#include <vector>

#include "capture/frame_conversion.hpp"
#include "capture/frame_source.hpp"
#include "common/grid.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

class CaptureSource {
  public:
    // The grids are allocated here once and only rewritten in place afterwards, so references
    // handed out stay valid for the life of the object. source must outlive this object. level
    // chooses the conversion loop (one this processor supports); every level gives the same grids.
    CaptureSource(int width, int height, FrameSource& source, SimdLevel level = bestSimdLevel());

    // Copies the newest frame if one arrived (else the frame buffer keeps the last one, black
    // before the first) and converts the frame buffer into both grids, always.
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
    const FrameConversionKernels& kernels_;
    std::vector<std::uint8_t> frameBuffer_;
    RgbGrid rgbGrid_;
    LumaGrid lumaGrid_;
};

}  // namespace tavlomi
