#pragma once

// A picture sample held and mapped for reading, so that its pixels can be lent in place (see
// FrameView) instead of copied. The sample keeps its buffer, and the buffer its pool, alive
// whatever becomes of the pipeline that made it.

#include <gst/video/video.h>

#include <cstdint>
#include <span>

#include "capture/frame_view.hpp"
#include "gst/gst_ref.hpp"

namespace tavlomi {

class MappedSample {
  public:
    MappedSample() = default;
    ~MappedSample() { release(); }
    MappedSample(const MappedSample&) = delete;
    MappedSample& operator=(const MappedSample&) = delete;

    // Maps sample when it is BGR of exactly width x height; otherwise holds nothing and returns
    // false. Whatever was held before is released first.
    bool hold(SampleRef sample, int width, int height);
    void release();
    bool held() const { return sample_ != nullptr; }

    // The held picture: GStreamer's rows, top row first, in the sample's own stride (rows of BGR
    // are padded to four bytes). Valid until release().
    FrameView view() const;

  private:
    SampleRef sample_;
    GstVideoFrame frame_{};
};

// Writes the picture of view, width x height, into frameBuffer (exactly 3 * width * height
// bytes): packed rows, bottom row first.
void copyToFrameBuffer(const FrameView& view, int width, int height,
                       std::span<std::uint8_t> frameBuffer);

}  // namespace tavlomi
