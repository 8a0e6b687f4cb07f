#pragma once

// The water effect's per-frame loops over the grid: pressing motion into the surface, the ripple
// step and the refracting render. Height grids are row-major, width x height ints. Heights have
// no bounds: every int is a valid height, and the sums and differences of heights wrap at 32 bits
// (wrap_add, wrap_sub).

#include <cstdint>
#include <span>

#include "common/grid.hpp"
#include "common/row_range.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

// Sets heights[i] to depth wherever mask[i] is not 0; mask and heights have the same size.
void waterSeedReference(std::span<const std::uint8_t> mask, std::span<int> heights, int depth);
// The same, skipping blocks of cells without motion; one loop for every level.
void waterSeed(std::span<const std::uint8_t> mask, std::span<int> heights, int depth);

// One ripple step: for rows 1..height-2 and columns 1..width-2, next[j] becomes v - v / damping
// with v = (sum of the eight neighbours in current >> 2) - next[j]; then each of those rows'
// last cell copies the one left of it and its first cell the one right of it. current and next
// are different buffers; damping is neither 0 nor -1 (which overflows on INT_MIN). Grids of fewer
// than 3 rows or columns are untouched. Only the rows within `rows` are written: a row of next
// depends on current alone, so bands of rows can run at once.
void waterPropagateReference(std::span<const int> current, std::span<int> next, int width,
                             int height, int damping, RowRange rows);

// The refracted, shaded picture of every cell but the last row and column (those words of
// pixels are left as they are): the source cell is the cell moved by the slopes to the right and
// below, each shifted right by 3 and clamped to the grid, shaded by their sum halved. Only the
// rows within `rows` are written.
void waterRenderReference(std::span<const int> heights, std::span<const RgbCell> rgb,
                          std::span<std::uint32_t> pixels, int width, int height, RowRange rows);

// The loops above at one instruction level, with the reference loops' arguments and results.
struct WaterKernels {
    decltype(&waterPropagateReference) propagate;
    decltype(&waterRenderReference) render;
};
// level must be one this processor supports.
const WaterKernels& waterKernels(SimdLevel level);

}  // namespace tavlomi
