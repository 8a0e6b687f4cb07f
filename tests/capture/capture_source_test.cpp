#include "capture/capture_source.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <tuple>
#include <vector>

#include "support/kernel_sweep.hpp"

namespace tavlomi {
namespace {

// A frame in memory of its own, lent in place: rows padded to rowStride bytes in either order,
// the buffer ending right after the last row's pixels so that a read past it is caught by the
// sanitizer build.
struct LentFrame final : FrameSource {
    int width = 0;
    std::ptrdiff_t rowStride = 0;
    FrameView::RowOrder order = FrameView::RowOrder::BottomUp;
    std::vector<std::uint8_t> bytes;

    bool copyNewestFrame(std::span<std::uint8_t>) override { return false; }
    std::optional<FrameView> viewNewestFrame(std::span<std::uint8_t>, int) override {
        return FrameView{bytes.data(), rowStride, order};
    }
};

TEST(CaptureSource, EveryLevelAndThreadCountConvertsALentFrameOfAnyStrideAndOrderAsTheReference) {
    sweepThreaded(
        [](GridSize size, std::mt19937& random) {
            LentFrame frame;
            frame.width = size.width;
            frame.rowStride = 3 * size.width + static_cast<int>(random() % 3) * 5;
            frame.order =
                random() % 2 == 0 ? FrameView::RowOrder::BottomUp : FrameView::RowOrder::TopDown;
            frame.bytes = randomCells<std::uint8_t>(
                (size.height - 1) * frame.rowStride + 3 * size.width, 0, 255, random);
            return std::pair{size, frame};
        },
        [](const auto& in) {
            const auto& [size, frame] = in;
            RgbGrid rgb(size.cells());
            LumaGrid luma(size.cells());
            convertFrameReference(FrameView{frame.bytes.data(), frame.rowStride, frame.order},
                                  size.width, size.height, allRows(size.height), rgb, luma);
            std::vector<std::uint32_t> words;
            for (const RgbCell& cell : rgb)
                words.push_back(cellWord(cell));
            return std::tuple{words, luma};
        },
        [](const auto& in, SimdLevel level, WorkerPool& pool) {
            auto [size, frame] = in;
            CaptureSource capture(size.width, size.height, frame, pool, level);
            capture.grabFrame();
            std::vector<std::uint32_t> words;
            for (const RgbCell& cell : capture.getRgbGrid())
                words.push_back(cellWord(cell));
            return std::tuple{words, capture.getLumaGrid()};
        });
}

}  // namespace
}  // namespace tavlomi
