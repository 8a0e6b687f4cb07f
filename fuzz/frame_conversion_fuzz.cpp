// libFuzzer target: camera frames of arbitrary bytes at arbitrary small sizes through
// CaptureSource, as the toy grabs them. The first two bytes choose the size (1 to 48 each);
// then, per grab, a control byte says whether a frame arrived and, when it did, the next
// 3 * width * height bytes are that frame (zero-padded at the end of the input). After every
// grab the grids must hold the newest frame turned upright and mirrored (cell k from frame
// pixel cellCount - 1 - k) and each cell's truncated luminance, 0..254.

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "capture/capture_source.hpp"
#include "capture/frame_source.hpp"
#include "support/fuzz_checks.hpp"

namespace {

using namespace tavlomi;

constexpr int kMaxSide = 48;
constexpr int kMaxGrabs = 16;

// Delivers the frames written in the fuzz input and keeps a copy of the newest one.
class InputFrames final : public FrameSource {
  public:
    InputFrames(std::span<const std::uint8_t> input, std::size_t frameBytes)
        : input_(input), newest_(frameBytes, 0) {}

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override {
        require(frameBuffer.size() == newest_.size(), "the frame buffer has the wrong size");
        if (input_.empty()) return false;
        const bool arrived = (input_[0] & 1) != 0;
        input_ = input_.subspan(1);
        if (!arrived) return false;
        const std::size_t taken = std::min(input_.size(), newest_.size());
        std::copy_n(input_.begin(), taken, newest_.begin());
        std::fill(newest_.begin() + static_cast<std::ptrdiff_t>(taken), newest_.end(), 0);
        input_ = input_.subspan(taken);
        std::copy(newest_.begin(), newest_.end(), frameBuffer.begin());
        return true;
    }

    bool exhausted() const { return input_.empty(); }
    // The last frame delivered; all zero before the first.
    const std::vector<std::uint8_t>& newest() const { return newest_; }

  private:
    std::span<const std::uint8_t> input_;
    std::vector<std::uint8_t> newest_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int width = 1 + data[0] % kMaxSide;
    const int height = 1 + data[1] % kMaxSide;
    const std::size_t cellCount = static_cast<std::size_t>(width) * height;
    InputFrames frames(std::span<const std::uint8_t>(data + 2, size - 2), 3 * cellCount);
    // Two threads: the rows split into bands as in the toy.
    WorkerPool pool(2);
    CaptureSource capture(width, height, frames, pool);
    require(capture.getRgbGrid().size() == cellCount, "the RgbGrid has the wrong size");
    require(capture.getLumaGrid().size() == cellCount, "the LumaGrid has the wrong size");
    const RgbCell* const rgbCells = capture.getRgbGrid().data();

    for (int grab = 0; grab < kMaxGrabs; ++grab) {
        capture.grabFrame();
        const RgbGrid& rgb = capture.getRgbGrid();
        const LumaGrid& luma = capture.getLumaGrid();
        require(rgb.data() == rgbCells, "the RgbGrid moved");
        for (std::size_t k = 0; k < cellCount; ++k) {
            const std::size_t p = cellCount - 1 - k;
            const int b = frames.newest()[3 * p];
            const int g = frames.newest()[3 * p + 1];
            const int r = frames.newest()[3 * p + 2];
            require(rgb[k].r == r && rgb[k].g == g && rgb[k].b == b,
                    "a cell is not the mirrored frame pixel");
            require(luma[k] == referenceLuminance(r, g, b), "a cell has the wrong luminance");
            require(luma[k] <= 254, "a luminance above 254");
        }
        if (frames.exhausted()) break;
    }
    return 0;
}
