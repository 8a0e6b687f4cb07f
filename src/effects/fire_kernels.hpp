#pragma once

// The fire effect's per-frame loops over the grid: seeding heat from motion, merging the ball's
// fading layer, letting the heat rise, and blending the palette with the camera picture. Heat
// layers and the cooling map hold one byte per cell, row-major, width x height cells.

#include <array>
#include <cstdint>
#include <span>

#include "common/grid.hpp"
#include "common/portable_rand.hpp"
#include "common/row_range.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

// One colour for each heat value 0..255.
using FirePalette = std::array<RgbCell, 256>;

// For rows 1..height-4 within `rows` and columns 1..width-2, in row-major order: where mask is
// not 0, heat becomes peak - peak / 20 + random.rand() % (peak / 20), one draw per such cell and
// none for any other. peak is 20..255, so the seeds fit a byte.
void fireSeedReference(std::span<const std::uint8_t> mask, std::span<std::uint8_t> heat, int width,
                       int height, int peak, PortableRand& random, RowRange rows);

// The draws fireSeedReference makes over `rows`: the cells it seeds there. One loop for every
// level.
std::uint64_t fireSeedDraws(std::span<const std::uint8_t> mask, int width, int height,
                            RowRange rows);

// The heat rises one step: for rows y 1..height-3 within `rows` and columns x 1..width-2,
// next(x, y) becomes the sum of heat at (x-1, y), (x+1, y) and the three cells below in each of
// rows y+1 and y+2, shifted right by 3, minus cooling(x, r) with
// r = (coolingScroll / width + y - 1) mod height, floored at 0. Other cells of next keep their
// values. heat and next are different buffers, so bands of rows can run at once; coolingScroll
// is a multiple of width inside the grid.
void firePropagateReference(std::span<const std::uint8_t> heat, std::span<std::uint8_t> next,
                            std::span<const std::uint8_t> cooling, int width, int height,
                            int coolingScroll, RowRange rows);

// Each pixel is its heat's palette colour blended with the camera cell, the camera weighing
// d = max(255 - heat, 60) 256ths: per channel pal + floor((cam - pal) * d / 256), opaque.
void fireRenderReference(std::span<const std::uint8_t> heat, const FirePalette& palette,
                         std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels);

// The loops above at one instruction level, with the reference loops' arguments and results.
struct FireKernels {
    decltype(&fireSeedReference) seed;
    decltype(&firePropagateReference) propagate;
    decltype(&fireRenderReference) render;
};
// level must be one this processor supports.
const FireKernels& fireKernels(SimdLevel level);

// When fade is set, every ballHeat cell above 0 first loses 1; then every heat cell below its
// ballHeat cell takes that value. Both layers have the same size. One loop for every level.
void fireFadeAndMerge(std::span<std::uint8_t> ballHeat, std::span<std::uint8_t> heat, bool fade);

}  // namespace tavlomi
