#pragma once

// Where the pixels of one camera frame lie: rows of width pixels of three bytes B, G, R, left to
// right as the camera sees it, a fixed number of bytes apart, the picture's bottom row or its top
// row first. The frame buffer format is one such layout (packed rows, bottom row first); a
// source may lend its own memory in another.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavlomi {

struct FrameView {
    enum class RowOrder { BottomUp, TopDown };

    // The first row in memory.
    const std::uint8_t* pixels = nullptr;
    // Bytes from the start of one row in memory to the next; at least 3 * width.
    std::ptrdiff_t rowStride = 0;
    RowOrder rowOrder = RowOrder::BottomUp;

    // The picture's row y of height rows, counted from the top.
    const std::uint8_t* pictureRow(int y, int height) const {
        const int stored = rowOrder == RowOrder::TopDown ? y : height - 1 - y;
        return pixels + stored * rowStride;
    }
};

// A frame buffer of width-pixel rows: packed, bottom row first.
inline FrameView frameBufferView(std::span<const std::uint8_t> frameBuffer, int width) {
    return {frameBuffer.data(), 3 * static_cast<std::ptrdiff_t>(width),
            FrameView::RowOrder::BottomUp};
}

}  // namespace tavlomi
