// The fire's grid loops at every level against the reference loops. The fade and merge, one
// plain loop, shows in the trail the effect's own tests follow.

#include "effects/fire_kernels.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "support/kernel_sweep.hpp"

namespace tavlomi {
namespace {

constexpr FireKernels kReference{fireSeedReference, firePropagateReference, fireRenderReference};

using Bytes = std::vector<std::uint8_t>;

struct Input {
    GridSize size;
    Bytes mask, heat, older, cooling;
    int peak, scroll;
    FirePalette palette;
    RgbGrid rgb;
};

Input randomInput(GridSize size, std::mt19937& random) {
    const std::size_t cells = size.cells();
    const int peaks[] = {254, 20, 255, 100};
    // Real cooling maps hold 0..6; larger values exercise the floor at 0.
    Input in{size,
             randomCells<std::uint8_t>(cells, 0, 255, random),
             randomCells<std::uint8_t>(cells, 0, 254, random),
             randomCells<std::uint8_t>(cells, 0, 254, random),
             randomCells<std::uint8_t>(cells, 0, random() % 2 == 0 ? 6 : 255, random),
             peaks[random() % 4],
             static_cast<int>(random() % size.height) * size.width,
             {},
             RgbGrid(cells)};
    // Sparse motion as a camera gives it or dense, and a cold picture with a few flames, as the
    // fire mostly is, or heat everywhere.
    const int density = random() % 2 == 0 ? 20 : 2;
    const bool flames = random() % 2 == 0;
    for (std::size_t i = 0; i < cells; ++i) {
        in.mask[i] = random() % density == 0 ? in.mask[i] | 1 : 0;
        in.heat[i] = flames && random() % 23 != 0 ? 0 : in.heat[i];
        in.rgb[i] = makeRgbCell(random() % 256, random() % 256, random() % 256);
    }
    for (RgbCell& entry : in.palette)
        entry = makeRgbCell(random() % 256, random() % 256, random() % 256);
    return in;
}

TEST(FireKernels, EveryLevelSeedsPropagatesAtAnyScrollAndRendersAsTheReference) {
    sweepKernels(kReference, fireKernels, randomInput, [](const Input& in, const FireKernels& k) {
        const RowRange rows = allRows(in.size.height);
        Bytes seeded = in.heat, next = in.older;
        PortableRand random;
        k.seed(in.mask, seeded, in.size.width, in.size.height, in.peak, random, rows);
        k.propagate(in.heat, next, in.cooling, in.size.width, in.size.height, in.scroll, rows);
        std::vector<std::uint32_t> pixels(in.heat.size(), 0x12345678u);
        k.render(in.heat, in.palette, in.rgb, pixels);
        // The generators must go on alike, too.
        return std::tuple{seeded, random.rand(), next, pixels};
    });
}

}  // namespace
}  // namespace tavlomi
