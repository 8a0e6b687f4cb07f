#include "capture/capture_source.hpp"

#include <cstddef>

#include "common/grid_storage.hpp"

namespace tavlomi {

CaptureSource::CaptureSource(int width, int height, FrameSource& source, SimdLevel level)
    : width_(width),
      height_(height),
      cellCount_(width * height),
      source_(source),
      kernels_(frameConversionKernels(level)),
      frameBuffer_(makeGrid<std::uint8_t>(3 * static_cast<std::size_t>(cellCount_))),
      rgbGrid_(makeGrid<RgbCell>(static_cast<std::size_t>(cellCount_))),
      lumaGrid_(makeGrid<std::uint8_t>(static_cast<std::size_t>(cellCount_))) {}

void CaptureSource::grabFrame() {
    source_.copyNewestFrame(frameBuffer_);
    kernels_.convert(frameBuffer_, rgbGrid_, lumaGrid_);
}

}  // namespace tavlomi
