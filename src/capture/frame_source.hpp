#pragma once

// Whatever delivers camera frames: a real camera, a video file, the built-in test scene or a
// recorded clip. Frames reach the toy in the frame buffer format: width x height pixels of three
// bytes B, G, R; rows of 3 * width bytes with nothing between them; bottom row of the picture
// first; within a row, left to right as the camera sees it.

#include <cstdint>
#include <span>

namespace tavlomi {

class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // Never waits. When a frame arrived since the last call, writes the newest one into
    // frameBuffer (exactly 3 * width * height bytes) and returns true; otherwise leaves
    // frameBuffer untouched and returns false.
    virtual bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) = 0;
};

}  // namespace tavlomi
