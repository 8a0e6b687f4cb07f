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

// Delivers the frames written in the fuzz input: per grab a control byte whose low bit says
// whether a frame arrived, then its bytes, zero past the input's end. newest is the last delivered.
class InputFrames final : public FrameSource {
  public:
    InputFrames(std::span<const std::uint8_t> input, std::size_t frameBytes)
        : input(input), newest(frameBytes, 0) {}

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override {
        require(frameBuffer.size() == newest.size(), "the frame buffer has the wrong size");
        if (input.empty() || (next() & 1) == 0) return false;
        for (std::uint8_t& byte : newest)
            byte = next();
        std::copy(newest.begin(), newest.end(), frameBuffer.begin());
        return true;
    }

    std::span<const std::uint8_t> input;
    std::vector<std::uint8_t> newest;

  private:
    std::uint8_t next() {
        if (input.empty()) return 0;
        const std::uint8_t byte = input[0];
        input = input.subspan(1);
        return byte;
    }
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
            const int b = frames.newest[3 * p];
            const int g = frames.newest[3 * p + 1];
            const int r = frames.newest[3 * p + 2];
            require(rgb[k].r == r && rgb[k].g == g && rgb[k].b == b,
                    "a cell is not the mirrored frame pixel");
            require(luma[k] == referenceLuminance(r, g, b), "a cell has the wrong luminance");
            require(luma[k] <= 254, "a luminance above 254");
        }
        if (frames.input.empty()) break;
    }
    return 0;
}
