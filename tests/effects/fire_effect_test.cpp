#include "effects/fire_effect.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "effects/noise_field.hpp"

namespace tavlomi {
namespace {

class RecordingSink final : public StatusSink {
  public:
    void print(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

// A fire over its own grids, built with a fresh generator as the program builds it.
struct Rig {
    Rig(int w, int h, RgbCell camera = makeRgbCell(0, 0, 0))
        : width(w),
          height(h),
          mask(w * h, 0),
          rgb(w * h, camera),
          fire(w, h, mask, rgb, random, sink) {}

    int at(int x, int y) const { return y * width + x; }
    std::vector<std::uint32_t> render() {
        std::vector<std::uint32_t> pixels(width * height, 0);
        fire.render(pixels);
        return pixels;
    }
    void setUniformHeat(int heat) { fire.setHeatForTest(std::vector<int>(width * height, heat)); }
    void setUniformCooling(int cooling) {
        fire.setCoolingMapForTest(std::vector<int>(width * height, cooling));
    }

    int width;
    int height;
    MotionMask mask;
    RgbGrid rgb;
    PortableRand random;
    RecordingSink sink;
    FireEffect fire;
};

// A generator advanced past the draws the fire takes at construction.
PortableRand randomAfter(int draws) {
    PortableRand random;
    for (int i = 0; i < draws; ++i)
        random.rand();
    return random;
}

constexpr int kConstructionDraws = 210 + 111;

bool computedByPropagate(int x, int y, int width, int height) {
    return y >= 1 && y <= height - 3 && x >= 1 && x <= width - 2;
}

// ---- construction ----

TEST(FireConstruction, PrintsItsLineAndStartsInBallMode) {
    Rig rig(40, 36);
    ASSERT_EQ(rig.sink.lines.size(), 1u);
    EXPECT_EQ(rig.sink.lines[0], "< Fire Effect innitialized >\n");
    EXPECT_TRUE(rig.fire.respondToBall());
    EXPECT_EQ(rig.fire.paletteIndex(), 0);
    EXPECT_EQ(rig.fire.coolingScroll(), 0);
    EXPECT_EQ(rig.fire.fadeCounter(), 0);
    EXPECT_EQ(rig.fire.currentHeat(), std::vector<int>(40 * 36, 0));
    EXPECT_EQ(rig.fire.ballHeat(), std::vector<int>(40 * 36, 0));
}

TEST(FireConstruction, CoolingMapTakesTheFirst210Draws) {
    Rig rig(64, 48);
    PortableRand independent;
    const std::vector<int> expected = NoiseField().generate(64, 48, 210, 6, 10, 40, independent);
    EXPECT_EQ(rig.fire.coolingMap(), expected);
    EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](int v) { return v > 0; }));
    for (int value : rig.fire.coolingMap()) {
        EXPECT_GE(value, 0);
        EXPECT_LE(value, 6);
    }
}

TEST(FireConstruction, BrushTakesTheNext111DrawsColumnByColumn) {
    Rig rig(40, 40);
    const FireEffect::HeatBrush& brush = rig.fire.heatBrush();

    // The first brush draw lands in column 0, where the disc has only row 6.
    PortableRand independent = randomAfter(210);
    EXPECT_EQ(brush[6][0], 219 + independent.rand() % 36);

    // Row 0 holds only column 6: 50 disc cells lie in columns 0..5 before it.
    PortableRand skipping = randomAfter(210 + 50);
    EXPECT_EQ(brush[0][6], 219 + skipping.rand() % 36);

    PortableRand draws = randomAfter(210);
    for (int b = 0; b < 12; ++b) {
        for (int a = 0; a < 12; ++a) {
            const bool inside = (a - 6) * (a - 6) + (b - 6) * (b - 6) <= 36;
            const int expected = inside ? 219 + draws.rand() % 36 : 0;
            EXPECT_EQ(brush[a][b], expected) << "row " << a << " column " << b;
        }
    }
    // Nothing else drew during construction.
    EXPECT_EQ(rig.random.rand(), draws.rand());
}

TEST(FireConstruction, BrushIsTheOffCentreDisc) {
    Rig rig(40, 40);
    const FireEffect::HeatBrush& brush = rig.fire.heatBrush();
    const std::pair<int, int> spans[12] = {{6, 6},  {3, 9},  {2, 10}, {1, 11}, {1, 11}, {1, 11},
                                           {0, 11}, {1, 11}, {1, 11}, {1, 11}, {2, 10}, {3, 9}};
    int cells = 0;
    for (int a = 0; a < 12; ++a) {
        for (int b = 0; b < 12; ++b) {
            const bool inSpan = b >= spans[a].first && b <= spans[a].second;
            if (inSpan) {
                ++cells;
                EXPECT_GE(brush[a][b], 219) << a << "," << b;
                EXPECT_LE(brush[a][b], 254) << a << "," << b;
            } else {
                EXPECT_EQ(brush[a][b], 0) << a << "," << b;
            }
        }
    }
    EXPECT_EQ(cells, 111);
}

// ---- palettes and render ----

TEST(FirePalette, FireAndBlueRamps) {
    Rig rig(8, 8);
    const auto expectEntry = [&](int i, int r, int g, int b) {
        const RgbCell cell = rig.fire.palette()[i];
        EXPECT_EQ(cell.r, r) << "entry " << i;
        EXPECT_EQ(cell.g, g) << "entry " << i;
        EXPECT_EQ(cell.b, b) << "entry " << i;
    };
    expectEntry(0, 0, 0, 0);
    expectEntry(84, 252, 0, 0);
    expectEntry(85, 255, 0, 0);
    expectEntry(100, 255, 45, 0);
    expectEntry(169, 255, 252, 0);
    expectEntry(170, 255, 255, 0);
    expectEntry(253, 255, 255, 249);
    expectEntry(254, 255, 255, 255);
    expectEntry(255, 255, 255, 255);

    rig.fire.handleKey('f');
    EXPECT_EQ(rig.fire.paletteIndex(), 1);
    expectEntry(0, 0, 0, 0);
    expectEntry(84, 0, 0, 252);
    expectEntry(85, 0, 0, 255);
    expectEntry(100, 0, 45, 255);
    expectEntry(170, 0, 255, 255);
    expectEntry(253, 249, 255, 255);
    expectEntry(254, 255, 255, 255);
    expectEntry(255, 255, 255, 255);
}

TEST(FirePalette, SecondFBringsBackFireSilently) {
    Rig rig(8, 8);
    const FireEffect::Palette fire = rig.fire.palette();
    rig.fire.handleKey(102);
    EXPECT_NE(rig.fire.palette()[100].r, fire[100].r);
    rig.fire.handleKey(102);
    EXPECT_EQ(rig.fire.paletteIndex(), 0);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(pixelWord(rig.fire.palette()[i]), pixelWord(fire[i]));
    EXPECT_EQ(rig.sink.lines.size(), 1u);
}

TEST(FireRender, FreshEffectShowsCameraOneLevelDarker) {
    Rig rig(40, 36, makeRgbCell(200, 100, 50));
    rig.fire.update();
    for (std::uint32_t word : rig.render())
        ASSERT_EQ(word, 0xFFC76331u);
}

TEST(FireRender, HottestHeatLetsAQuarterOfTheCameraThrough) {
    Rig black(6, 6, makeRgbCell(0, 0, 0));
    black.setUniformHeat(254);
    for (std::uint32_t word : black.render())
        ASSERT_EQ(word, 0xFFC3C3C3u);

    Rig white(6, 6, makeRgbCell(255, 255, 255));
    white.setUniformHeat(254);
    for (std::uint32_t word : white.render())
        ASSERT_EQ(word, 0xFFFFFFFFu);
}

TEST(FireRender, HeatHundredInBothPalettes) {
    Rig rig(6, 6, makeRgbCell(0, 0, 0));
    rig.setUniformHeat(100);
    for (std::uint32_t word : rig.render())
        ASSERT_EQ(word, 0xFF641100u);
    rig.fire.handleKey('f');
    for (std::uint32_t word : rig.render())
        ASSERT_EQ(word, 0xFF001164u);
}

TEST(FireRender, NegativeDifferencesRoundDown) {
    // Heat 200 (fire entry (255, 255, 90)) over camera (10, 20, 200), camera weight 60:
    // r 255 + floor(-245 * 60 / 256) = 197, g 255 + floor(-235 * 60 / 256) = 199,
    // b 90 + floor(110 * 60 / 256) = 115.
    Rig rig(5, 5, makeRgbCell(10, 20, 200));
    rig.setUniformHeat(200);
    for (std::uint32_t word : rig.render())
        ASSERT_EQ(word, pixelWord(197, 199, 115));
}

// ---- propagate ----

TEST(FirePropagate, UniformHeatLosesTheCoolingFlooredAtZero) {
    struct Case {
        int heat, cooling, expected;
    };
    for (const Case& c : {Case{200, 0, 200}, Case{200, 6, 194}, Case{5, 6, 0}, Case{6, 6, 0}}) {
        Rig rig(9, 8);
        rig.setUniformHeat(c.heat);
        rig.setUniformCooling(c.cooling);
        rig.fire.update();
        const std::vector<int>& heat = rig.fire.currentHeat();
        for (int y = 0; y < rig.height; ++y) {
            for (int x = 0; x < rig.width; ++x) {
                // Cells propagate never writes keep the other buffer's 0.
                const int expected =
                    computedByPropagate(x, y, rig.width, rig.height) ? c.expected : 0;
                EXPECT_EQ(heat[rig.at(x, y)], expected)
                    << "heat " << c.heat << " cooling " << c.cooling << " cell " << x << "," << y;
            }
        }
    }
}

TEST(FirePropagate, SingleHotCellRisesIntoEightCells) {
    Rig rig(9, 10);
    rig.setUniformCooling(0);
    std::vector<int> heat(9 * 10, 0);
    heat[rig.at(4, 6)] = 248;
    rig.fire.setHeatForTest(heat);
    rig.fire.update();

    const std::vector<int>& next = rig.fire.currentHeat();
    const std::pair<int, int> lit[] = {{3, 6}, {5, 6}, {3, 5}, {4, 5},
                                       {5, 5}, {3, 4}, {4, 4}, {5, 4}};
    for (int y = 0; y < rig.height; ++y) {
        for (int x = 0; x < rig.width; ++x) {
            const bool isLit =
                std::find(std::begin(lit), std::end(lit), std::pair{x, y}) != std::end(lit);
            EXPECT_EQ(next[rig.at(x, y)], isLit ? 31 : 0) << "cell " << x << "," << y;
        }
    }
}

TEST(FirePropagate, ColumnOneIsComputedLikeTheOthers) {
    Rig rig(6, 9);
    rig.setUniformCooling(0);
    rig.setUniformHeat(120);
    rig.fire.update();
    for (int y = 1; y <= rig.height - 3; ++y)
        EXPECT_EQ(rig.fire.currentHeat()[rig.at(1, y)], 120);
}

TEST(FirePropagate, CoolingRowScrollsBackOneRowPerUpdate) {
    const int width = 5, height = 7;
    Rig rig(width, height);
    // Cooling row r holds r + 1 everywhere, so the cooling used shows which row was read.
    std::vector<int> cooling(width * height);
    for (int i = 0; i < width * height; ++i)
        cooling[i] = i / width + 1;
    rig.fire.setCoolingMapForTest(cooling);

    std::vector<int> rowOneRows;
    for (int n = 1; n <= 2 * height + 1; ++n) {
        rig.setUniformHeat(100);
        rig.fire.update();
        const int scrollRow = (height - n % height) % height;
        EXPECT_EQ(rig.fire.coolingScroll(), scrollRow * width) << "update " << n;
        for (int y = 1; y <= height - 3; ++y) {
            const int coolingRow = (scrollRow + y - 1) % height;
            for (int x = 1; x <= width - 2; ++x) {
                EXPECT_EQ(rig.fire.currentHeat()[rig.at(x, y)], 100 - (coolingRow + 1))
                    << "update " << n << " cell " << x << "," << y;
            }
        }
        rowOneRows.push_back(100 - rig.fire.currentHeat()[rig.at(2, 1)] - 1);
    }
    // Row 1 reads cooling rows 6, 5, ..., 0, then 6 again.
    const std::vector<int> expected = {6, 5, 4, 3, 2, 1, 0, 6, 5, 4, 3, 2, 1, 0, 6};
    EXPECT_EQ(rowOneRows, expected);
}

TEST(FirePropagate, ShortGridsOnlyScrollAndSwap) {
    for (int height = 1; height <= 3; ++height) {
        Rig rig(5, height);
        rig.setUniformHeat(7);
        rig.fire.update();
        EXPECT_EQ(rig.fire.coolingScroll(), (height - 1) * 5);
        EXPECT_EQ(rig.fire.currentHeat(), std::vector<int>(5 * height, 0)) << height;
        rig.fire.update();
        EXPECT_EQ(rig.fire.currentHeat(), std::vector<int>(5 * height, 7)) << height;
        EXPECT_EQ(rig.fire.coolingScroll(), height >= 2 ? (height - 2) * 5 : 0);
    }
}

// ---- movement mode ----

TEST(FireMovement, EdgeMotionNeverSeeds) {
    const int width = 10, height = 10;
    Rig rig(width, height);
    rig.fire.handleKey(' ');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool edge = y == 0 || y >= height - 3 || x == 0 || x == width - 1;
            rig.mask[rig.at(x, y)] = edge ? 1 : 0;
        }
    }
    // Two updates: a seed in a row propagate never writes would come back after the swap.
    for (int n = 0; n < 2; ++n) {
        rig.fire.update();
        EXPECT_EQ(rig.fire.currentHeat(), std::vector<int>(width * height, 0));
    }
    PortableRand expected = randomAfter(kConstructionDraws);
    EXPECT_EQ(rig.random.rand(), expected.rand());
}

TEST(FireMovement, MotionCellsTakeOneDrawEachInRowOrder) {
    const int width = 10, height = 10;
    Rig rig(width, height);
    rig.setUniformCooling(0);
    rig.fire.handleKey(' ');
    // The corners of the seeded range and one cell in its last row, height - 4.
    for (auto [x, y] : {std::pair{1, 1}, {8, 1}, {1, 6}, {4, 6}, {8, 6}}) {
        rig.mask[rig.at(x, y)] = 1;
    }
    rig.fire.update();

    PortableRand draws = randomAfter(kConstructionDraws);
    int seeds[5];
    for (int& seed : seeds)
        seed = 242 + draws.rand() % 12;
    EXPECT_EQ(rig.random.rand(), draws.rand());

    // (4, 6) took the fourth draw; its side neighbours sum only it.
    const std::vector<int>& heat = rig.fire.currentHeat();
    EXPECT_EQ(heat[rig.at(3, 6)], seeds[3] / 8);
    EXPECT_EQ(heat[rig.at(5, 6)], seeds[3] / 8);
    EXPECT_EQ(heat[rig.at(4, 4)], seeds[3] / 8);
    EXPECT_EQ(heat[rig.at(4, 6)], 0);
    for (int seed : seeds) {
        EXPECT_GE(seed, 242);
        EXPECT_LE(seed, 253);
    }
}

// ---- ball mode ----

TEST(FireBall, NoBallNoHeat) {
    Rig rig(40, 36);
    for (int n = 0; n < 3; ++n)
        rig.fire.update();
    EXPECT_EQ(rig.fire.currentHeat(), std::vector<int>(40 * 36, 0));
    EXPECT_EQ(rig.fire.ballHeat(), std::vector<int>(40 * 36, 0));
}

// The ball-heat layer expected after stamping the brush at (bx, by), minus `fade` inside it.
std::vector<int> stampedLayer(const Rig& rig, int bx, int by, int fade) {
    std::vector<int> layer(rig.width * rig.height, 0);
    const FireEffect::HeatBrush& brush = rig.fire.heatBrush();
    for (int a = 0; a < 12; ++a) {
        for (int b = 0; b < 12; ++b) {
            const int x = bx - 6 + b;
            const int y = by - 6 + a;
            if (brush[a][b] > 0 && x >= 0 && x < rig.width && y >= 0 && y < rig.height) {
                layer[rig.at(x, y)] = brush[a][b] - fade;
            }
        }
    }
    return layer;
}

TEST(FireBall, StampsEveryFrameAndFadesEverySecond) {
    Rig rig(40, 40);
    rig.fire.ballMoved(20, 17);
    for (int n = 1; n <= 6; ++n) {
        rig.fire.update();
        const bool fadeFrame = n % 2 == 0;
        EXPECT_EQ(rig.fire.fadeCounter(), fadeFrame ? 0 : 1);
        EXPECT_EQ(rig.fire.ballHeat(), stampedLayer(rig, 20, 17, fadeFrame ? 1 : 0))
            << "update " << n;
    }
    const std::vector<int>& heat = rig.fire.currentHeat();
    EXPECT_GT(*std::max_element(heat.begin(), heat.end()), 0);
    EXPECT_LE(*std::max_element(heat.begin(), heat.end()), 254);
}

TEST(FireBall, BallHeatMergesByMaximum) {
    for (auto [heat, ball, expected] : {std::tuple{240, 100, 240}, {100, 250, 250}}) {
        Rig rig(8, 9);
        rig.setUniformCooling(0);
        rig.setUniformHeat(heat);
        rig.fire.setBallHeatForTest(std::vector<int>(8 * 9, ball));
        rig.fire.update();
        EXPECT_EQ(rig.fire.currentHeat()[rig.at(3, 3)], expected) << heat << " vs " << ball;
    }
}

TEST(FireBall, TrailFadesFrom254In508Or507Updates) {
    for (int phase : {0, 1}) {
        Rig rig(20, 20);
        for (int n = 0; n < phase; ++n)
            rig.fire.update();
        ASSERT_EQ(rig.fire.fadeCounter(), phase);
        std::vector<int> layer(20 * 20, 0);
        layer[rig.at(10, 12)] = 254;
        rig.fire.setBallHeatForTest(layer);

        int updates = 0;
        bool fed = false;
        while (rig.fire.ballHeat()[rig.at(10, 12)] > 0 && updates < 1000) {
            rig.fire.update();
            ++updates;
            if (updates == 300) fed = rig.fire.currentHeat()[rig.at(10, 11)] > 0;
        }
        EXPECT_EQ(updates, phase == 0 ? 508 : 507);
        EXPECT_TRUE(fed) << "the fading trail keeps feeding flames";
    }
}

TEST(FireBall, StampNearTheEdgesOfASmallGridIsClipped) {
    Rig rig(20, 20);
    for (auto [x, y] : {std::pair{2, 18}, {0, 0}, {19, 19}, {19, 0}, {-3, 7}, {30, 10}}) {
        rig.fire.handleKey(' ');
        rig.fire.handleKey(' ');
        rig.fire.ballMoved(x, y);
        rig.fire.update();
        const int fade = rig.fire.fadeCounter() == 0 ? 1 : 0;
        EXPECT_EQ(rig.fire.ballHeat(), stampedLayer(rig, x, y, fade)) << x << "," << y;
    }
}

// ---- keys ----

TEST(FireKeys, SpaceSwitchesModesAndClearsTheTrail) {
    Rig rig(40, 40);
    rig.fire.ballMoved(20, 20);
    rig.fire.update();
    const std::vector<int> trail = rig.fire.ballHeat();
    ASSERT_NE(trail, std::vector<int>(40 * 40, 0));

    rig.fire.handleKey(32);
    EXPECT_FALSE(rig.fire.respondToBall());
    EXPECT_EQ(rig.fire.ballHeat(), trail);
    rig.fire.handleKey(32);
    EXPECT_TRUE(rig.fire.respondToBall());
    EXPECT_EQ(rig.fire.ballHeat(), std::vector<int>(40 * 40, 0));

    const std::vector<std::string> expected = {"< Fire Effect innitialized >\n",
                                               "< Fire responding to Movement >\n",
                                               "< Fire responding to Ball >\n"};
    EXPECT_EQ(rig.sink.lines, expected);
}

TEST(FireKeys, OtherKeysDoNothing) {
    Rig rig(10, 10);
    for (int key : {0, int{'F'}, int{'a'}, 13, 27, 101, 103, 31, 33, 275})
        rig.fire.handleKey(key);
    EXPECT_TRUE(rig.fire.respondToBall());
    EXPECT_EQ(rig.fire.paletteIndex(), 0);
    EXPECT_EQ(rig.sink.lines.size(), 1u);
}

TEST(FireKeys, ModeSwitchKeepsScrollAndFadeCounter) {
    Rig rig(10, 10);
    rig.fire.update();
    const int scroll = rig.fire.coolingScroll();
    rig.fire.handleKey(' ');
    EXPECT_EQ(rig.fire.fadeCounter(), 1);
    EXPECT_EQ(rig.fire.coolingScroll(), scroll);
    rig.fire.update();
    EXPECT_EQ(rig.fire.fadeCounter(), 1);
    rig.fire.handleKey(' ');
    rig.fire.update();
    EXPECT_EQ(rig.fire.fadeCounter(), 0);
}

// ---- tiny grids ----

TEST(FireTinyGrids, EveryStepStaysInsideTheGrid) {
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 2}, {3, 3}, {1, 2}, {1, 3}, {1, 4},
                                         {2, 1}, {4, 1}, {4, 4}, {3, 5}, {5, 4}, {6, 6}};
    for (auto [width, height] : sizes) {
        Rig rig(width, height, makeRgbCell(10, 20, 30));
        std::fill(rig.mask.begin(), rig.mask.end(), 1);
        for (auto [x, y] : {std::pair{0, 0}, {width - 1, height - 1}, {width / 2, height / 2}}) {
            rig.fire.ballMoved(x, y);
            rig.fire.update();
            rig.render();
        }
        rig.fire.handleKey(' ');
        for (int n = 0; n < 3; ++n) {
            rig.fire.update();
            rig.render();
        }
        for (int value : rig.fire.currentHeat()) {
            EXPECT_GE(value, 0);
            EXPECT_LE(value, 254);
        }
        EXPECT_EQ(rig.fire.coolingScroll() % width, 0);
        EXPECT_GE(rig.fire.coolingScroll(), 0);
        EXPECT_LT(rig.fire.coolingScroll(), width * height);
    }
}

}  // namespace
}  // namespace tavlomi
