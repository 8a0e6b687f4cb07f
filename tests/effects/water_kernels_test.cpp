// The water's grid loops at every level against the reference loops: random heights of three
// kinds, random masks and pictures, dampings the multiply-high division must handle and two
// (1 and -25) it leaves to the reference loop.

#include "effects/water_kernels.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "support/kernel_sweep.hpp"

namespace tavlomi {
namespace {

constexpr WaterKernels kReference{waterPropagateReference, waterRenderReference};

struct Surface {
    GridSize size;
    MotionMask mask;
    RgbGrid rgb;
    std::vector<int> current, older;
    int damping;
};

// Heights of one of three kinds: any int (their sums wrap); large values of both signs; or the
// ripples a few dips leave after some steps.
std::vector<int> randomHeights(GridSize size, int kind, std::mt19937& random) {
    if (kind == 0) return randomCells<int>(size.cells(), INT_MIN, INT_MAX, random);
    if (kind == 1) return randomCells<int>(size.cells(), -(1 << 27), 1 << 27, random);
    std::vector<int> heights(size.cells(), 0), older(size.cells(), 0);
    for (int step = 0; step < 6; ++step) {
        for (int dip = 0; dip < 3; ++dip)
            heights[random() % size.cells()] = -400;
        waterPropagateReference(heights, older, size.width, size.height, 25, allRows(size.height));
        std::swap(heights, older);
    }
    return heights;
}

Surface randomSurface(GridSize size, std::mt19937& random) {
    const int dampings[] = {25, 2, 3, 4, 7, 24, 26, 1000, 1 << 20, INT_MAX, 1, -25};
    const int kind = static_cast<int>(random() % 3);
    // Sparse motion as a camera gives it, with any byte value a mask could hold.
    Surface surface{size,
                    randomCells<std::uint8_t>(size.cells(), 0, 255, random),
                    RgbGrid(size.cells()),
                    randomHeights(size, kind, random),
                    randomHeights(size, kind, random),
                    dampings[random() % 12]};
    for (std::uint8_t& m : surface.mask)
        m = random() % 5 == 0 ? m : 0;
    for (RgbCell& cell : surface.rgb)
        cell = makeRgbCell(random() % 256, random() % 256, random() % 256);
    return surface;
}

TEST(WaterKernels, SeedSkippingStillBlocksMatchesTheReference) {
    const auto seed = [](const Surface& in, decltype(&waterSeedReference) kernel) {
        std::vector<int> heights = in.current;
        kernel(in.mask, heights, -400);
        return heights;
    };
    sweepKernel(
        randomSurface, [&](const Surface& in) { return seed(in, waterSeedReference); },
        [&](const Surface& in, SimdLevel) { return seed(in, waterSeed); });
}

TEST(WaterKernels, EveryLevelPropagatesAtAnyDampingAndRendersAsTheReference) {
    sweepKernels(kReference, waterKernels, randomSurface,
                 [](const Surface& in, const WaterKernels& k) {
                     const int w = in.size.width, h = in.size.height;
                     std::vector<int> next = in.older;
                     k.propagate(in.current, next, w, h, in.damping, allRows(h));
                     std::vector<std::uint32_t> pixels(in.size.cells(), 0x12345678u);
                     k.render(in.current, in.rgb, pixels, w, h, allRows(h));
                     return std::pair{next, pixels};
                 });
}

}  // namespace
}  // namespace tavlomi
