#pragma once

// The fire's cooling map: a few points of 255 scattered over an empty field, grown into patches
// by smoothing passes that double the local mean, softened by passes that take the plain mean,
// then scaled from 0..255 down to 0..scale. Made once, when the fire effect is built.

#include <cstdint>
#include <vector>

#include "common/portable_rand.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

class NoiseField {
  public:
    NoiseField() = default;

    // A new width x height field, row-major: pointCount draws of `random` each set one cell to
    // 255, then spreadPasses smoothing passes with divisor 40, softenPasses with divisor 80, and
    // the final scaling. Also fixes the field size the smoothing functions work on. level
    // chooses the smoothing loops (one this processor supports); every level gives the same map.
    std::vector<int> generate(int width, int height, int pointCount, int scale, int spreadPasses,
                              int softenPasses, PortableRand& random,
                              SimdLevel level = bestSimdLevel());

    // generate's map in one byte per cell, for a scale of 0..255, which keeps every value in
    // 0..scale; the same draws and the same values.
    std::vector<std::uint8_t> generateBytes(int width, int height, int pointCount, int scale,
                                            int spreadPasses, int softenPasses,
                                            PortableRand& random,
                                            SimdLevel level = bestSimdLevel());

    // One pass of the 5x5 kernel (weights sum to 80) over a field of the size set by the last
    // generate: each cell of the interior becomes the weighted sum / divisor (truncated),
    // clamped to 0..255; the two outermost rows and columns become 0. The reference version.
    std::vector<int> smooth(const std::vector<int>& field, int divisor) const;
    // smooth(field, 80): the weighted mean.
    std::vector<int> smoothMean(const std::vector<int>& field) const;

    // Bit for bit the result of `passes` smooth() passes (none: `field` itself), computed from
    // separable partial sums and skipping cells whose 5x5 neighbourhood is all 0. The sums are
    // formed in another order, so field values must stay within +-(2^31 / 80) for both versions
    // to be free of overflow. generate smooths with this one.
    std::vector<int> smoothFast(std::vector<int> field, int divisor, int passes = 1) const;

    // Bit for bit the result of `passes` smooth() passes (none: `field` itself) of a field whose
    // values all lie in 0..255, one byte per cell; divisor is not 0. Skips cells as smoothFast
    // does and, at SimdLevel::Avx2, computes 16 cells at a time for the divisors that have an
    // exact 16-bit multiply-high form (40 and 80 among them). generate smooths with this one.
    std::vector<std::uint8_t> smoothBytes(std::vector<std::uint8_t> field, int divisor,
                                          int passes = 1, SimdLevel level = bestSimdLevel()) const;

    // The final scaling of one smoothed value: value * (1/255 as a float) * scale, truncated.
    static int scaleValue(int value, int scale);

  private:
    // generate up to the scaling: the points, both kinds of passes, values 0..255.
    std::vector<std::uint8_t> smoothedPoints(int width, int height, int pointCount,
                                             int spreadPasses, int softenPasses,
                                             PortableRand& random, SimdLevel level);

    int width_ = 0;
    int height_ = 0;
    int cellCount_ = 0;
    // Index distance of two rows, also the index of the first cell of row 2.
    int twoRows_ = 0;
};

}  // namespace tavlomi
