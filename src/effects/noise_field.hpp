#pragma once

// The fire's cooling map: a few points of 255 scattered over an empty field, grown into patches
// by smoothing passes that double the local mean, softened by passes that take the plain mean,
// then scaled from 0..255 down to 0..scale. Made once, when the fire effect is built.

#include <cstdint>
#include <vector>

#include "common/portable_rand.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

// A new width x height map, row-major: pointCount draws r of `random` each set cell
// trunc(r * (1/32768 as a float) * cellCount) of an empty field to 255; spreadPasses passes of
// smoothNoiseFieldReference with divisor 40 and softenPasses with divisor 80 follow; then every
// value v becomes trunc(v * (1/255 as a float) * scale), scale 0..255. level chooses the
// smoothing loops (one this processor supports); every level gives the same map.
std::vector<std::uint8_t> generateNoiseField(int width, int height, int pointCount, int scale,
                                             int spreadPasses, int softenPasses,
                                             PortableRand& random,
                                             SimdLevel level = bestSimdLevel());

// One pass of the 5x5 kernel (weights sum to 80) over a width x height field: each cell at least
// two cells from every edge becomes its weighted sum / divisor (truncated), clamped to 0..255;
// the two outermost rows and columns become 0. The reference for generateNoiseField's passes.
std::vector<int> smoothNoiseFieldReference(const std::vector<int>& field, int width, int height,
                                           int divisor);

}  // namespace tavlomi
