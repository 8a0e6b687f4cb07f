// The fire's fast loops against the plain ones: random layers on grids of odd sizes, every heat
// with every camera and palette value for the blend, and whole runs of the effect in both modes.

#include "effects/fire_kernels.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "effects/fire_effect.hpp"

namespace tavlomi {
namespace {

std::string levelName(SimdLevel level) {
    return level == SimdLevel::Avx2 ? "avx2" : "portable";
}

struct Size {
    int width;
    int height;
};

std::string sizeName(Size size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// Every width 1..67 with every height 1..9, then larger grids, some of them wide.
std::vector<Size> gridSizes() {
    std::vector<Size> sizes;
    for (int height = 1; height <= 9; ++height) {
        for (int width = 1; width <= 67; ++width)
            sizes.push_back({width, height});
    }
    for (Size size : {Size{320, 24}, Size{333, 17}, Size{1920, 6}, Size{64, 64}, Size{97, 131}})
        sizes.push_back(size);
    return sizes;
}

std::vector<std::uint8_t> randomBytes(std::size_t count, int top, std::mt19937& random) {
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random() % (top + 1));
    return bytes;
}

std::size_t cellsOf(Size size) {
    return static_cast<std::size_t>(size.width) * size.height;
}

TEST(FireKernels, SeedMatchesThePlainLoopDrawForDraw) {
    std::mt19937 random(41);
    for (Size size : gridSizes()) {
        const std::size_t cells = cellsOf(size);
        // Sparse motion as a camera gives it, dense motion, and any byte value a mask could hold.
        for (int density : {20, 2}) {
            std::vector<std::uint8_t> mask(cells);
            for (std::uint8_t& m : mask)
                m = random() % density == 0 ? static_cast<std::uint8_t>(random() | 1) : 0;
            const std::vector<std::uint8_t> start = randomBytes(cells, 254, random);
            for (int peak : {254, 20, 255, 100}) {
                std::vector<std::uint8_t> expected = start;
                PortableRand plainDraws;
                fireSeedPlain(mask, expected, size.width, size.height, peak, plainDraws);
                for (SimdLevel level : supportedSimdLevels()) {
                    std::vector<std::uint8_t> heat = start;
                    PortableRand draws;
                    fireSeed(mask, heat, size.width, size.height, peak, draws, level);
                    ASSERT_EQ(heat, expected)
                        << levelName(level) << " " << sizeName(size) << " peak " << peak;
                    // The same number of draws: the generators go on alike.
                    PortableRand plainAfter = plainDraws;
                    ASSERT_EQ(draws.rand(), plainAfter.rand())
                        << levelName(level) << " " << sizeName(size) << " peak " << peak;
                }
            }
        }
    }
}

TEST(FireKernels, SeedDrawsOnlyForMotionInsideTheSeededRange) {
    // A 40 x 10 grid with motion everywhere: rows 1..6 and columns 1..38 take one draw each, in
    // row-major order; row 0, rows 7..9 and the first and last columns take none.
    const int width = 40, height = 10;
    const std::vector<std::uint8_t> mask(width * height, 1);
    for (SimdLevel level : supportedSimdLevels()) {
        std::vector<std::uint8_t> heat(width * height, 0);
        PortableRand draws;
        fireSeed(mask, heat, width, height, 254, draws, level);
        PortableRand expectedDraws;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool seeded = y >= 1 && y <= height - 4 && x >= 1 && x <= width - 2;
                const int expected = seeded ? 242 + expectedDraws.rand() % 12 : 0;
                ASSERT_EQ(heat[y * width + x], expected)
                    << levelName(level) << " " << x << "," << y;
            }
        }
        EXPECT_EQ(draws.rand(), expectedDraws.rand()) << levelName(level);
    }
}

TEST(FireKernels, FadeAndMergeMatchThePlainLoop) {
    std::mt19937 random(43);
    for (Size size : gridSizes()) {
        const std::size_t cells = cellsOf(size);
        // Every byte value in both layers, so 0, 1 and 255 all occur at the larger sizes.
        const std::vector<std::uint8_t> ballStart = randomBytes(cells, 255, random);
        const std::vector<std::uint8_t> heatStart = randomBytes(cells, 255, random);
        for (bool fade : {false, true}) {
            std::vector<std::uint8_t> expectedBall = ballStart;
            std::vector<std::uint8_t> expectedHeat = heatStart;
            fireFadeAndMergePlain(expectedBall, expectedHeat, fade);
            for (SimdLevel level : supportedSimdLevels()) {
                std::vector<std::uint8_t> ball = ballStart;
                std::vector<std::uint8_t> heat = heatStart;
                fireFadeAndMerge(ball, heat, fade, level);
                ASSERT_EQ(ball, expectedBall)
                    << levelName(level) << " " << sizeName(size) << " fade " << fade;
                ASSERT_EQ(heat, expectedHeat)
                    << levelName(level) << " " << sizeName(size) << " fade " << fade;
            }
        }
    }
}

TEST(FireKernels, FadeLowersOnlyCellsAboveZeroAndMergeTakesTheMaximum) {
    const std::vector<std::uint8_t> ballStart = {0, 1, 2, 254, 255, 0, 100, 7, 0, 9};
    const std::vector<std::uint8_t> heatStart = {5, 0, 1, 254, 3, 0, 100, 8, 254, 9};
    for (SimdLevel level : supportedSimdLevels()) {
        std::vector<std::uint8_t> ball = ballStart;
        std::vector<std::uint8_t> heat = heatStart;
        fireFadeAndMerge(ball, heat, true, level);
        EXPECT_EQ(ball, (std::vector<std::uint8_t>{0, 0, 1, 253, 254, 0, 99, 6, 0, 8}));
        EXPECT_EQ(heat, (std::vector<std::uint8_t>{5, 0, 1, 254, 254, 0, 100, 8, 254, 9}));
        ball = ballStart;
        heat = heatStart;
        fireFadeAndMerge(ball, heat, false, level);
        EXPECT_EQ(ball, ballStart);
        EXPECT_EQ(heat, (std::vector<std::uint8_t>{5, 1, 2, 254, 255, 0, 100, 8, 254, 9}));
    }
}

TEST(FireKernels, PropagateMatchesThePlainLoopAtEveryScroll) {
    std::mt19937 random(47);
    for (Size size : gridSizes()) {
        const std::size_t cells = cellsOf(size);
        const std::vector<std::uint8_t> heat = randomBytes(cells, 254, random);
        const std::vector<std::uint8_t> older = randomBytes(cells, 254, random);
        // Real maps hold 0..6; larger values exercise the floor at 0.
        const std::vector<std::uint8_t> cooling =
            randomBytes(cells, random() % 2 ? 6 : 255, random);
        // Every cooling row on the small grids, a few on the larger ones.
        std::vector<int> scrolls;
        for (int row = 0; row < size.height; ++row) {
            if (size.height <= 9 || row % 7 == 0 || row == size.height - 1)
                scrolls.push_back(row * size.width);
        }
        for (int scroll : scrolls) {
            std::vector<std::uint8_t> expected = older;
            firePropagatePlain(heat, expected, cooling, size.width, size.height, scroll);
            for (SimdLevel level : supportedSimdLevels()) {
                std::vector<std::uint8_t> next = older;
                firePropagate(heat, next, cooling, size.width, size.height, scroll, level);
                ASSERT_EQ(next, expected)
                    << levelName(level) << " " << sizeName(size) << " scroll " << scroll;
            }
        }
    }
}

TEST(FireKernels, PropagateOfTheHottestGridKeepsItsHeat) {
    // Eight cells of 254 sum to 2032, whose eighth is 254 again: the largest sum the step meets.
    const int width = 70, height = 6;
    const std::vector<std::uint8_t> heat(width * height, 254);
    const std::vector<std::uint8_t> cooling(width * height, 0);
    for (SimdLevel level : supportedSimdLevels()) {
        std::vector<std::uint8_t> next(width * height, 0);
        firePropagate(heat, next, cooling, width, height, 0, level);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool computed = y >= 1 && y <= height - 3 && x >= 1 && x <= width - 2;
                ASSERT_EQ(next[y * width + x], computed ? 254 : 0)
                    << levelName(level) << " " << x << "," << y;
            }
        }
    }
}

FirePalette randomPalette(std::mt19937& random) {
    FirePalette palette;
    for (RgbCell& entry : palette) {
        entry = makeRgbCell(static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                            static_cast<int>(random() % 256));
    }
    return palette;
}

TEST(FireKernels, RenderMatchesThePlainLoop) {
    std::mt19937 random(53);
    constexpr std::uint32_t kUntouched = 0x12345678u;
    for (Size size : gridSizes()) {
        const std::size_t cells = cellsOf(size);
        RgbGrid rgb(cells);
        for (RgbCell& cell : rgb) {
            cell = makeRgbCell(static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                               static_cast<int>(random() % 256));
        }
        const FirePalette palette = randomPalette(random);
        // Heat everywhere, and a cold picture with a few flames, as the fire mostly is.
        const std::vector<std::uint8_t> hot = randomBytes(cells, 255, random);
        std::vector<std::uint8_t> flames(cells, 0);
        for (std::size_t i = 0; i < cells; ++i) {
            if (random() % 23 == 0) flames[i] = static_cast<std::uint8_t>(1 + random() % 254);
        }
        for (const std::vector<std::uint8_t>& heat : {hot, flames}) {
            std::vector<std::uint32_t> expected(cells, kUntouched);
            fireRenderPlain(heat, palette, rgb, expected);
            for (SimdLevel level : supportedSimdLevels()) {
                std::vector<std::uint32_t> pixels(cells, kUntouched);
                fireRender(heat, palette, rgb, pixels, level);
                ASSERT_EQ(pixels, expected) << levelName(level) << " " << sizeName(size);
            }
        }
    }
}

TEST(FireKernels, RenderBlendsEveryHeatCameraAndPaletteValueAlike) {
    // One row per heat 0..255, one column per camera value 0..255. Palette k gives heat h the
    // red (h + k) mod 256, so over the 256 palettes red meets every (heat, palette, camera)
    // triple, negative differences included; green and blue run other mixes.
    const int values = 256;
    const std::size_t cells = static_cast<std::size_t>(values) * values;
    std::vector<std::uint8_t> heat(cells);
    RgbGrid rgb(cells);
    for (int h = 0; h < values; ++h) {
        for (int c = 0; c < values; ++c) {
            heat[h * values + c] = static_cast<std::uint8_t>(h);
            rgb[h * values + c] = makeRgbCell(c, 255 - c, (c * 37 + h) % 256);
        }
    }
    std::vector<std::uint32_t> expected(cells);
    std::vector<std::uint32_t> pixels(cells);
    for (int k = 0; k < 256; ++k) {
        FirePalette palette;
        for (int h = 0; h < values; ++h)
            palette[h] = makeRgbCell((h + k) % 256, (h * 7 + k) % 256, (255 - h + 3 * k) % 256);
        fireRenderPlain(heat, palette, rgb, expected);
        for (SimdLevel level : supportedSimdLevels()) {
            fireRender(heat, palette, rgb, pixels, level);
            ASSERT_EQ(pixels, expected) << levelName(level) << " palette " << k;
        }
    }
}

TEST(FireKernels, RenderRoundsNegativeProductsDown) {
    // Heat 200 (camera weight 60) with palette colour (255, 255, 90) over camera (10, 20, 200):
    // r 255 + floor(-245 * 60 / 256) = 197, g 255 + floor(-235 * 60 / 256) = 199,
    // b 90 + floor(110 * 60 / 256) = 115. Heat 0 (weight 255) with palette black over
    // camera (1, 128, 255): floor(v * 255 / 256) = 0, 127, 254.
    FirePalette palette{};
    palette[200] = makeRgbCell(255, 255, 90);
    const std::vector<std::uint8_t> heat = {200, 0, 200, 0, 200, 0, 200, 0, 200, 0, 200};
    RgbGrid rgb(heat.size());
    for (std::size_t i = 0; i < heat.size(); ++i)
        rgb[i] = heat[i] == 200 ? makeRgbCell(10, 20, 200) : makeRgbCell(1, 128, 255);
    for (SimdLevel level : supportedSimdLevels()) {
        std::vector<std::uint32_t> pixels(heat.size(), 0);
        fireRender(heat, palette, rgb, pixels, level);
        for (std::size_t i = 0; i < heat.size(); ++i) {
            const std::uint32_t expected =
                heat[i] == 200 ? pixelWord(197, 199, 115) : pixelWord(0, 127, 254);
            ASSERT_EQ(pixels[i], expected) << levelName(level) << " cell " << i;
        }
    }
}

class NullSink final : public StatusSink {
  public:
    void print(std::string_view) override {}
};

// A fire at one level over its own inputs.
struct FireRig {
    FireRig(Size size, SimdLevel level)
        : mask(cellsOf(size)),
          rgb(cellsOf(size)),
          pixels(cellsOf(size), 0),
          fire(size.width, size.height, mask, rgb, random, sink, level) {}

    MotionMask mask;
    RgbGrid rgb;
    PortableRand random;
    NullSink sink;
    std::vector<std::uint32_t> pixels;
    FireEffect fire;
};

// The whole effect at each level over a moving picture, a moving ball and changing motion: every
// level must leave the same heat, ball layer, picture and generator state.
TEST(FireKernels, WholeEffectRunsAlikeAtEveryLevel) {
    for (Size size : {Size{67, 41}, Size{320, 240}, Size{33, 100}}) {
        const std::size_t cells = cellsOf(size);
        std::mt19937 random(59);
        std::vector<MotionMask> masks(5, MotionMask(cells));
        std::vector<RgbGrid> pictures(5, RgbGrid(cells));
        for (int f = 0; f < 5; ++f) {
            for (std::size_t i = 0; i < cells; ++i) {
                masks[f][i] = random() % 9 == 0 ? 1 : 0;
                pictures[f][i] =
                    makeRgbCell(static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                                static_cast<int>(random() % 256));
            }
        }
        const std::vector<SimdLevel> levels = supportedSimdLevels();
        std::vector<std::unique_ptr<FireRig>> runs;
        for (SimdLevel level : levels)
            runs.push_back(std::make_unique<FireRig>(size, level));
        for (int frame = 0; frame < 60; ++frame) {
            for (std::size_t k = 0; k < levels.size(); ++k) {
                FireRig& run = *runs[k];
                FireEffect& fire = run.fire;
                run.mask = masks[frame % 5];
                run.rgb = pictures[frame % 3];
                if (frame == 25 || frame == 45) fire.handleKey(32);
                if (frame == 35) fire.handleKey(102);
                fire.ballMoved(16 + frame % (size.width - 31 > 0 ? size.width - 31 : 1),
                               16 + (frame * 3) % (size.height - 31 > 0 ? size.height - 31 : 1));
                fire.update();
                fire.render(run.pixels);
            }
            for (std::size_t k = 1; k < levels.size(); ++k) {
                ASSERT_EQ(runs[k]->fire.currentHeat(), runs[0]->fire.currentHeat())
                    << levelName(levels[k]) << " " << sizeName(size) << " frame " << frame;
                ASSERT_EQ(runs[k]->fire.ballHeat(), runs[0]->fire.ballHeat())
                    << levelName(levels[k]) << " " << sizeName(size) << " frame " << frame;
                ASSERT_EQ(runs[k]->pixels, runs[0]->pixels)
                    << levelName(levels[k]) << " " << sizeName(size) << " frame " << frame;
                PortableRand a = runs[k]->random;
                PortableRand b = runs[0]->random;
                ASSERT_EQ(a.rand(), b.rand())
                    << levelName(levels[k]) << " " << sizeName(size) << " frame " << frame;
            }
        }
    }
}

}  // namespace
}  // namespace tavlomi
