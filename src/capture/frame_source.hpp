#pragma once

// Whatever delivers camera frames: a real camera, a video file, the built-in test scene or a
// recorded clip. Frames reach the toy in the frame buffer format: width x height pixels of three
// bytes B, G, R; rows of 3 * width bytes with nothing between them; bottom row of the picture
// first; within a row, left to right as the camera sees it. A source that holds its newest frame
// in memory of its own may lend it in place, in any row stride and order (see FrameView), so
// that the conversion reads it where it is instead of a copy.

#include <cstdint>
#include <optional>
#include <span>

#include "capture/frame_view.hpp"

namespace tavlomi {

class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // Never waits. When a frame arrived since the last call, writes the newest one into
    // frameBuffer (exactly 3 * width * height bytes) and returns true; otherwise leaves
    // frameBuffer untouched and returns false.
    virtual bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) = 0;

    // Never waits. When a frame arrived since the last call of either function, a view of the
    // newest one, valid until the next call or the source's end; otherwise nullopt. frameBuffer
    // is copyNewestFrame's, for a source that copies: by default the frame goes there and the
    // view shows it. width is the frame's.
    virtual std::optional<FrameView> viewNewestFrame(std::span<std::uint8_t> frameBuffer,
                                                     int width) {
        if (!copyNewestFrame(frameBuffer)) return std::nullopt;
        return frameBufferView(frameBuffer, width);
    }
};

}  // namespace tavlomi
