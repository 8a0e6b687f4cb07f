#pragma once

// Types of the per-cell grids shared by capture, motion, ball and effects. Every grid is
// gridWidth x gridHeight cells, row-major, top row first: cell (x, y) is index y * gridWidth + x.

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tavlomi {

// One camera pixel; also a palette entry. Channels are 0..255. Stored as packed bytes in the
// order of a little-endian 0xAARRGGBB word so a cell can be turned into a pixel word cheaply.
struct RgbCell {
    std::uint8_t b = 0;
    std::uint8_t g = 0;
    std::uint8_t r = 0;
    std::uint8_t unused = 0;
};
static_assert(sizeof(RgbCell) == 4);

constexpr RgbCell makeRgbCell(int r, int g, int b) {
    return RgbCell{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                   static_cast<std::uint8_t>(r), 0};
}

// Opaque pixel word 0xFFRRGGBB, the only pixel layout effects write.
constexpr std::uint32_t pixelWord(int r, int g, int b) {
    return 0xFF000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b);
}
constexpr std::uint32_t pixelWord(RgbCell cell) {
    return pixelWord(cell.r, cell.g, cell.b);
}

// The cell's four bytes as one word, 0xUURRGGBB with its unused byte on top: OR 0xFF000000 makes
// it the cell's pixel word. Read through memcpy, the one access to an object's bytes as another
// type that the aliasing rules allow.
static_assert(std::endian::native == std::endian::little);
inline std::uint32_t cellWord(const RgbCell& cell) {
    std::uint32_t word;
    std::memcpy(&word, &cell, sizeof word);
    return word;
}

// The camera picture, upright and mirrored left to right.
using RgbGrid = std::vector<RgbCell>;
// Luminance of each RgbGrid cell, 0..254.
using LumaGrid = std::vector<std::uint8_t>;
// 1 where the luminance changed by more than the threshold since the previous frame, else 0.
using MotionMask = std::vector<std::uint8_t>;

}  // namespace tavlomi
