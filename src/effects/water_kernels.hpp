#pragma once

// The water effect's per-frame loops over the grid: pressing motion into the surface, the ripple
// step and the refracting render. Each comes as a plain loop, the reference, and as a fast one
// that gives the same results bit for bit at every SimdLevel (one this processor supports). Height
// grids are row-major, width x height ints. Heights have no bounds: every int is a valid height,
// and the sums and differences of heights wrap at 32 bits (wrap_add, wrap_sub).

#include <cstdint>
#include <span>

#include "common/grid.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

// Truncating division n / d of any int n by a fixed divisor d >= 2, as an unsigned
// 32 x 32 -> 64-bit multiply and a shift:
//   n / d = sign(n) * floor(multiplier * |n| / 2^(32 + shift)).
// The constructor's comment proves it exact.
class TruncatingDivisor {
  public:
    explicit TruncatingDivisor(int divisor);

    int divisor() const { return divisor_; }
    std::uint32_t multiplier() const { return multiplier_; }
    int shift() const { return shift_; }
    // ceil(2^(32 + shift) / divisor) * divisor - 2^(32 + shift), the multiplier's rounding up.
    std::uint64_t excess() const { return excess_; }

    int divide(int n) const {
        const std::uint64_t magnitude =
            n < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(static_cast<std::int64_t>(n))
                  : static_cast<std::uint64_t>(n);
        const std::uint64_t q = (magnitude * multiplier_) >> (32 + shift_);
        return n < 0 ? -static_cast<int>(q) : static_cast<int>(q);
    }

  private:
    int divisor_;
    std::uint32_t multiplier_ = 0;
    int shift_ = 0;
    std::uint64_t excess_ = 0;
};

// Sets heights[i] to depth wherever mask[i] is not 0; mask and heights have the same size.
void waterSeedPlain(std::span<const std::uint8_t> mask, std::span<int> heights, int depth);
void waterSeed(std::span<const std::uint8_t> mask, std::span<int> heights, int depth,
               SimdLevel level);

// One ripple step: for rows 1..height-2 and columns 1..width-2, next[j] becomes v - v / damping
// with v = (sum of the eight neighbours in current >> 2) - next[j]; then each of those rows'
// last cell copies the one left of it and its first cell the one right of it. current and next
// are different buffers; damping is neither 0 nor -1 (which overflows on INT_MIN). Grids of fewer
// than 3 rows or columns are untouched.
void waterPropagatePlain(std::span<const int> current, std::span<int> next, int width, int height,
                         int damping);
void waterPropagate(std::span<const int> current, std::span<int> next, int width, int height,
                    int damping, SimdLevel level);

// The refracted, shaded picture of every cell but the last row and column (those words of
// pixels are left as they are): the source cell is the cell moved by the slopes to the right and
// below, each shifted right by 3 and clamped to the grid, shaded by their sum halved.
void waterRenderPlain(std::span<const int> heights, std::span<const RgbCell> rgb,
                      std::span<std::uint32_t> pixels, int width, int height);
void waterRender(std::span<const int> heights, std::span<const RgbCell> rgb,
                 std::span<std::uint32_t> pixels, int width, int height, SimdLevel level);

}  // namespace tavlomi
