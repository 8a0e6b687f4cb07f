#include "camera_frame_source.hpp"

#include <cstddef>

namespace tavlomi {

CameraFrameSource::CameraFrameSource(int width, int height)
    : width_(width),
      height_(height),
      picture_(4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}

bool CameraFrameSource::copyNewestFrame(std::span<std::uint8_t> frameBuffer) {
    if (!fresh_ || frameBuffer.size() != picture_.size() / 4 * 3) return false;
    fresh_ = false;
    const std::size_t rowPixels = static_cast<std::size_t>(width_);
    for (int y = 0; y < height_; ++y) {
        // The frame buffer holds the picture's bottom row first.
        const std::uint8_t* in = picture_.data() + 4 * rowPixels * static_cast<std::size_t>(y);
        std::uint8_t* out =
            frameBuffer.data() + 3 * rowPixels * static_cast<std::size_t>(height_ - 1 - y);
        for (std::size_t x = 0; x < rowPixels; ++x) {
            out[3 * x] = in[4 * x + 2];
            out[3 * x + 1] = in[4 * x + 1];
            out[3 * x + 2] = in[4 * x];
        }
    }
    return true;
}

}  // namespace tavlomi
