#include "capture/capture_source.hpp"

#include <cstddef>

#include "capture/frame_conversion.hpp"

namespace tavlomi {

CaptureSource::CaptureSource(int width, int height, FrameSource& source)
    : width_(width),
      height_(height),
      cellCount_(width * height),
      source_(source),
      frameBuffer_(3 * static_cast<std::size_t>(cellCount_), 0),
      rgbGrid_(static_cast<std::size_t>(cellCount_)),
      lumaGrid_(static_cast<std::size_t>(cellCount_), 0) {}

void CaptureSource::grabFrame() {
    source_.copyNewestFrame(frameBuffer_);
    convertFrame(frameBuffer_, rgbGrid_, lumaGrid_);
}

}  // namespace tavlomi
