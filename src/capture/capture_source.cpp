#include "capture/capture_source.hpp"

#include <cstddef>
#include <optional>

#include "common/grid_storage.hpp"

namespace tavlomi {

CaptureSource::CaptureSource(int width, int height, FrameSource& source, WorkerPool& pool,
                             SimdLevel level)
    : width_(width),
      height_(height),
      cellCount_(width * height),
      source_(source),
      pool_(pool),
      kernels_(frameConversionKernels(level)),
      frameBuffer_(makeGrid<std::uint8_t>(3 * static_cast<std::size_t>(cellCount_))),
      rgbGrid_(makeGrid<RgbCell>(static_cast<std::size_t>(cellCount_))),
      lumaGrid_(makeGrid<std::uint8_t>(static_cast<std::size_t>(cellCount_))) {}

void CaptureSource::grabFrame() {
    const std::optional<FrameView> frame = source_.viewNewestFrame(frameBuffer_, width_);
    if (!frame) return;
    pool_.forEachBand(allRows(height_), [&](RowBand band) {
        kernels_.convert(*frame, width_, height_, band.rows, rgbGrid_, lumaGrid_);
    });
}

}  // namespace tavlomi
