#pragma once

// The browser camera as a frame source. The page draws each new camera picture, scaled to the
// grid, into picture() as RGBA bytes, top row first, left to right as the camera sees it (what
// getImageData gives), and then calls pictureWritten(). The toy's mirroring happens later, in the
// core, exactly as for the desktop camera.

#include <cstdint>
#include <span>
#include <vector>

#include "capture/frame_source.hpp"

namespace tavlomi {

class CameraFrameSource final : public FrameSource {
  public:
    // width and height from 1 up.
    CameraFrameSource(int width, int height);

    // width * height * 4 bytes R, G, B, A; A is ignored.
    std::span<std::uint8_t> picture() { return picture_; }
    void pictureWritten() { fresh_ = true; }

    // Converts the picture written since the last call into the frame buffer format.
    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override;

  private:
    int width_;
    int height_;
    std::vector<std::uint8_t> picture_;
    bool fresh_ = false;
};

}  // namespace tavlomi
