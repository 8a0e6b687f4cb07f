// The fire's grid loops: every level against the reference loops, and the one fade-and-merge
// loop.

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

TEST(FireKernels, FadeLowersOnlyCellsAboveZeroAndMergeTakesTheMaximum) {
    // Seven rounds of ten cells, so that the vector loops and their remainders both see them:
    // the ball layer, the heat, then both after fading and merging, and the heat after merging.
    const Bytes rows[5] = {{0, 1, 2, 254, 255, 0, 100, 7, 0, 9},
                           {5, 0, 1, 254, 3, 0, 100, 8, 254, 9},
                           {0, 0, 1, 253, 254, 0, 99, 6, 0, 8},
                           {5, 0, 1, 254, 254, 0, 100, 8, 254, 9},
                           {5, 1, 2, 254, 255, 0, 100, 8, 254, 9}};
    Bytes all[5];
    for (int round = 0; round < 7; ++round) {
        for (int r = 0; r < 5; ++r)
            all[r].insert(all[r].end(), rows[r].begin(), rows[r].end());
    }
    for (bool fade : {true, false}) {
        Bytes ball = all[0], heat = all[1];
        fireFadeAndMerge(ball, heat, fade);
        EXPECT_EQ(ball, fade ? all[2] : all[0]) << fade;
        EXPECT_EQ(heat, fade ? all[3] : all[4]) << fade;
    }
}

}  // namespace
}  // namespace tavlomi
