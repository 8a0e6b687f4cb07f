#pragma once

// The fire effect's per-frame loops over the grid: seeding heat from motion, merging the ball's
// fading layer, letting the heat rise, and blending the palette with the camera picture. Each
// comes as a plain loop, the reference, and as a fast one that gives the same results bit for bit
// at every SimdLevel (one this processor supports). Heat layers and the cooling map hold one byte
// per cell, row-major, width x height cells.

#include <array>
#include <cstdint>
#include <span>

#include "common/grid.hpp"
#include "common/portable_rand.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

// One colour for each heat value 0..255.
using FirePalette = std::array<RgbCell, 256>;

// For rows 1..height-4 and columns 1..width-2, in row-major order: where mask is not 0, heat
// becomes peak - peak / 20 + random.rand() % (peak / 20), one draw per such cell and none for any
// other. peak is 20..255, so the seeds fit a byte.
void fireSeedPlain(std::span<const std::uint8_t> mask, std::span<std::uint8_t> heat, int width,
                   int height, int peak, PortableRand& random);
void fireSeed(std::span<const std::uint8_t> mask, std::span<std::uint8_t> heat, int width,
              int height, int peak, PortableRand& random, SimdLevel level);

// When fade is set, every ballHeat cell above 0 first loses 1; then every heat cell below its
// ballHeat cell takes that value. Both layers have the same size.
void fireFadeAndMergePlain(std::span<std::uint8_t> ballHeat, std::span<std::uint8_t> heat,
                           bool fade);
void fireFadeAndMerge(std::span<std::uint8_t> ballHeat, std::span<std::uint8_t> heat, bool fade,
                      SimdLevel level);

// The heat rises one step: for rows y 1..height-3 and columns x 1..width-2, next(x, y) becomes
// the sum of heat at (x-1, y), (x+1, y) and the three cells below in each of rows y+1 and y+2,
// shifted right by 3, minus cooling(x, r) with r = (coolingScroll / width + y - 1) mod height,
// floored at 0. Other cells of next keep their values. heat and next are different buffers;
// coolingScroll is a multiple of width inside the grid.
void firePropagatePlain(std::span<const std::uint8_t> heat, std::span<std::uint8_t> next,
                        std::span<const std::uint8_t> cooling, int width, int height,
                        int coolingScroll);
void firePropagate(std::span<const std::uint8_t> heat, std::span<std::uint8_t> next,
                   std::span<const std::uint8_t> cooling, int width, int height, int coolingScroll,
                   SimdLevel level);

// Each pixel is its heat's palette colour blended with the camera cell, the camera weighing
// d = max(255 - heat, 60) 256ths: per channel pal + floor((cam - pal) * d / 256), opaque.
void fireRenderPlain(std::span<const std::uint8_t> heat, const FirePalette& palette,
                     std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels);
void fireRender(std::span<const std::uint8_t> heat, const FirePalette& palette,
                std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels, SimdLevel level);

}  // namespace tavlomi
