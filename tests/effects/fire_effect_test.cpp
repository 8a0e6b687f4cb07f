#include "effects/fire_effect.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "effects/effect_play.hpp"
#include "effects/noise_field.hpp"
#include "support/recording_status.hpp"

namespace tavlomi {

// Reaches the effect's layers, brush, palette and counters.
struct FireEffectProbe {
    using Layer = std::vector<std::uint8_t>;
    static Layer& heat(FireEffect& fire) { return fire.currentHeat_; }
    static Layer& ballHeat(FireEffect& fire) { return fire.ballHeat_; }
    static Layer& cooling(FireEffect& fire) { return fire.coolingMap_; }
    static int brush(const FireEffect& fire, int row, int column) {
        return fire.heatBrush_[row][column];
    }
    static RgbCell palette(const FireEffect& fire, int heat) { return fire.palette_[heat]; }
    static int coolingScroll(const FireEffect& fire) { return fire.coolingScroll_; }
    static int fadeCounter(const FireEffect& fire) { return fire.fadeCounter_; }
};

namespace {

using Probe = FireEffectProbe;
using Layer = Probe::Layer;

constexpr int kKeyF = 102;
constexpr int kKeySpace = 32;

// A fire over its own grids, built with a fresh generator as the program builds it.
struct Rig {
    Rig(int w, int h, RgbCell camera = makeRgbCell(0, 0, 0))
        : width(w),
          height(h),
          mask(w * h, 0),
          rgb(w * h, camera),
          fire(w, h, mask, rgb, random, sink, pool) {}

    std::size_t at(int x, int y) const { return static_cast<std::size_t>(y) * width + x; }
    Layer& heat() { return Probe::heat(fire); }
    Layer& ballHeat() { return Probe::ballHeat(fire); }
    void fill(Layer& layer, int value) {
        layer.assign(layer.size(), static_cast<std::uint8_t>(value));
    }
    void updates(int count) {
        for (int n = 0; n < count; ++n)
            fire.update();
    }
    std::vector<std::uint32_t> render() {
        std::vector<std::uint32_t> pixels(width * height, 0);
        fire.render(pixels);
        return pixels;
    }

    int width;
    int height;
    MotionMask mask;
    RgbGrid rgb;
    PortableRand random;
    RecordingStatus sink;
    WorkerPool pool{1};
    FireEffect fire;
};

int nonZero(const Layer& layer) {
    return static_cast<int>(layer.size() - std::count(layer.begin(), layer.end(), 0));
}

// A generator advanced past `draws` draws.
PortableRand after(int draws) {
    PortableRand random;
    random.discard(draws);
    return random;
}

TEST(FireEffect, ConstructionDrawsTheCoolingMapThenTheBrushColumnByColumn) {
    Rig rig(64, 48);
    EXPECT_EQ(rig.sink.lines, std::vector<std::string>{"< Fire Effect innitialized >\n"});
    EXPECT_TRUE(rig.fire.respondToBall());
    EXPECT_EQ(rig.fire.paletteIndex(), 0);
    EXPECT_TRUE(nonZero(rig.heat()) + nonZero(rig.ballHeat()) == 0);
    PortableRand first;
    EXPECT_EQ(Probe::cooling(rig.fire), generateNoiseField(64, 48, 210, 6, 10, 40, first));
    // The first brush draw lands in column 0, whose only disc cell is row 6; row 0 holds only
    // column 6, after the 50 disc cells of columns 0..5. Each is 219 + rand() % 36.
    EXPECT_EQ(Probe::brush(rig.fire, 6, 0), 219 + after(210).rand() % 36);
    EXPECT_EQ(Probe::brush(rig.fire, 0, 6), 219 + after(260).rand() % 36);
    EXPECT_EQ(rig.random.rand(), after(321).rand());
}

TEST(FireEffect, PalettesAndFKey) {
    Rig rig(8, 8);
    // Entry, then r, g, b of the fire and of the blue palette: three ramps in steps of 3, white
    // at the top.
    const int entries[][7] = {
        {84, 252, 0, 0, 0, 0, 252},          {85, 255, 0, 0, 0, 0, 255},
        {169, 255, 252, 0, 0, 252, 255},     {170, 255, 255, 0, 0, 255, 255},
        {253, 255, 255, 249, 249, 255, 255}, {254, 255, 255, 255, 255, 255, 255}};
    for (int palette : {0, 1, 0}) {
        EXPECT_EQ(rig.fire.paletteIndex(), palette);
        for (const auto& e : entries) {
            const RgbCell cell = Probe::palette(rig.fire, e[0]);
            EXPECT_EQ(pixelWord(cell),
                      pixelWord(e[1 + 3 * palette], e[2 + 3 * palette], e[3 + 3 * palette]))
                << "palette " << palette << " entry " << e[0];
        }
        rig.fire.handleKey(kKeyF);
    }
    EXPECT_EQ(rig.sink.lines.size(), 1u);  // 'f' prints nothing
}

TEST(FireEffect, RenderBlendsPaletteAndCamera) {
    // Camera colour, heat, palette ('f' presses), the pixel everywhere.
    const struct {
        RgbCell camera;
        int heat, fPresses;
        std::uint32_t pixel;
    } cases[] = {
        // Cold: every channel v becomes floor(v * 255 / 256).
        {makeRgbCell(200, 100, 50), 0, 0, 0xFFC76331},
        // The hottest heat lets a quarter of the camera through.
        {makeRgbCell(0, 0, 0), 254, 0, 0xFFC3C3C3},
        {makeRgbCell(255, 255, 255), 254, 0, 0xFFFFFFFF},
        {makeRgbCell(0, 0, 0), 100, 0, 0xFF641100},
        {makeRgbCell(0, 0, 0), 100, 1, 0xFF001164},
        // Entry (255, 255, 90) over (10, 20, 200), camera weight 60: r 255 + floor(-245 * 60 /
        // 256) = 197, g 255 + floor(-235 * 60 / 256) = 199, b 90 + floor(110 * 60 / 256) = 115.
        {makeRgbCell(10, 20, 200), 200, 0, pixelWord(197, 199, 115)},
    };
    for (const auto& c : cases) {
        Rig rig(40, 6, c.camera);
        rig.fill(rig.heat(), c.heat);
        for (int f = 0; f < c.fPresses; ++f)
            rig.fire.handleKey(kKeyF);
        EXPECT_EQ(rig.render(), std::vector<std::uint32_t>(40 * 6, c.pixel)) << c.heat;
    }
}

TEST(FireEffect, HeatRisesAsTheMeanOfEightCellsBelowLessTheCoolingFlooredAtZero) {
    // Uniform heat and cooling, and the heat of every computed cell after one update: rows
    // 1..height-3, columns 1..width-2. The cells propagate never writes keep the other buffer's 0.
    for (auto [heat, cooling, risen] :
         {std::tuple{254, 0, 254}, {200, 0, 200}, {200, 6, 194}, {5, 6, 0}, {6, 6, 0}}) {
        Rig rig(40, 8);
        rig.fill(rig.heat(), heat);
        rig.fill(Probe::cooling(rig.fire), cooling);
        rig.fire.update();
        for (int y = 0; y < rig.height; ++y) {
            for (int x = 0; x < rig.width; ++x) {
                const bool computed = y >= 1 && y <= 5 && x >= 1 && x <= 38;
                ASSERT_EQ(rig.heat()[rig.at(x, y)], computed ? risen : 0)
                    << heat << " " << cooling << " " << x << "," << y;
            }
        }
    }
    // One cell of 248 gives 31 to its two side neighbours and the three cells in each of the two
    // rows above, and to nothing else.
    Rig rig(9, 10);
    rig.fill(Probe::cooling(rig.fire), 0);
    rig.heat()[rig.at(4, 6)] = 248;
    rig.fire.update();
    for (auto [x, y] : {std::pair{3, 6}, {5, 6}, {3, 5}, {4, 5}, {5, 5}, {3, 4}, {4, 4}, {5, 4}})
        EXPECT_EQ(rig.heat()[rig.at(x, y)], 31) << x << "," << y;
    EXPECT_EQ(nonZero(rig.heat()), 8);
}

TEST(FireEffect, CoolingRowScrollsBackOneRowPerUpdate) {
    const int width = 5, height = 7;
    Rig rig(width, height);
    // Cooling row r holds r + 1 everywhere, so the cooling taken from heat 100 shows the row.
    for (int i = 0; i < width * height; ++i)
        Probe::cooling(rig.fire)[i] = static_cast<std::uint8_t>(i / width + 1);
    // Grid row 1 reads cooling rows 6, 5, ..., 0, then 6 again; row y reads y - 1 rows further.
    for (int n = 1; n <= 2 * height + 1; ++n) {
        rig.fill(rig.heat(), 100);
        rig.fire.update();
        const int scrollRow = (height - n % height) % height;
        EXPECT_EQ(Probe::coolingScroll(rig.fire), scrollRow * width) << n;
        for (int y = 1; y <= height - 3; ++y)
            EXPECT_EQ(rig.heat()[rig.at(2, y)], 100 - ((scrollRow + y - 1) % height + 1)) << n;
    }
    // Grids of 3 rows or fewer compute no row but still scroll and swap.
    for (int height = 1; height <= 3; ++height) {
        Rig rig(5, height);
        rig.fill(rig.heat(), 7);
        rig.fire.update();
        EXPECT_EQ(Probe::coolingScroll(rig.fire), (height - 1) * 5);
        EXPECT_EQ(nonZero(rig.heat()), 0) << height;
        rig.fire.update();
        EXPECT_EQ(rig.heat(), Layer(5 * height, 7)) << height;
    }
}

TEST(FireEffect, MovementSeeds242To253OnlyInsideTheSeededRange) {
    // Motion on every cell: rows 1..height-4 and columns 1..width-2, in row order, take one draw
    // each, 242 + rand() % 12; the cells around them take none.
    Rig rig(10, 10);
    rig.fill(Probe::cooling(rig.fire), 0);
    rig.fire.handleKey(kKeySpace);
    rig.fire.update();  // no motion, no draw
    std::fill(rig.mask.begin(), rig.mask.end(), 1);
    rig.fire.update();
    EXPECT_EQ(rig.random.rand(), after(321 + 6 * 8).rand());
    // (2, 6), in the last seeded row, rises from its side neighbours alone: draws 40 and 42.
    const auto seed = [](int k) { return 242 + after(321 + k).rand() % 12; };
    EXPECT_EQ(rig.heat()[rig.at(2, 6)], (seed(40) + seed(42)) / 8);
}

TEST(FireEffect, BallStampsEveryFrameAndFadesEverySecond) {
    Rig rig(40, 40);
    rig.updates(3);
    EXPECT_TRUE(nonZero(rig.heat()) + nonZero(rig.ballHeat()) == 0);  // no ball, no heat
    rig.fire.ballMoved(20, 17);
    const int centre = Probe::brush(rig.fire, 6, 6);
    for (int n = 4; n <= 7; ++n) {
        rig.fire.update();
        // Updates 4 and 6 since construction fade, after the stamp of the same update.
        EXPECT_EQ(rig.ballHeat()[rig.at(20, 17)], centre - (n % 2 == 0 ? 1 : 0)) << n;
    }
    EXPECT_EQ(nonZero(rig.ballHeat()), 111);
    EXPECT_GT(nonZero(rig.heat()), 0);
}

TEST(FireEffect, TrailFadesFrom254In508Or507Updates) {
    for (int phase : {0, 1}) {
        Rig rig(20, 20);
        rig.updates(phase);
        rig.ballHeat()[rig.at(10, 12)] = 254;
        rig.updates(300);
        EXPECT_GT(rig.heat()[rig.at(10, 11)], 0) << "the fading trail keeps feeding flames";
        int updates = 300;
        for (; rig.ballHeat()[rig.at(10, 12)] > 0 && updates < 1000; ++updates)
            rig.fire.update();
        EXPECT_EQ(updates, phase == 0 ? 508 : 507);
    }
}

TEST(FireEffect, StampNearTheEdgesOfASmallGridIsClipped) {
    // Grid, ball cell and the brush cells inside the grid. The disc reaches 6 cells left of and
    // above the ball's cell and 5 right and below: rows and columns 6..11 of it at (0, 0), 0..6
    // at (19, 19), columns 9..11 at (-3, 7), none at (30, 10). Column 9999 once marked "no ball
    // yet"; on a grid this wide it is like any other.
    const int cases[][5] = {{20, 20, 0, 0, 33},  {20, 20, 19, 19, 35},  {20, 20, -3, 7, 27},
                            {20, 20, 30, 10, 0}, {20, 20, 10, 10, 111}, {10016, 40, 9999, 20, 111}};
    for (auto [w, h, x, y, cells] : cases) {
        Rig rig(w, h);
        rig.fire.ballMoved(x, y);
        rig.fire.update();
        EXPECT_EQ(nonZero(rig.ballHeat()), cells) << x << "," << y;
    }
}

TEST(FireEffect, SpaceSwitchesModesClearingTheTrailOtherKeysDoNothing) {
    Rig rig(40, 40);
    rig.fire.ballMoved(20, 20);
    rig.fire.update();
    const Layer trail = rig.ballHeat();
    const int scroll = Probe::coolingScroll(rig.fire);
    for (int key : {0, int{'F'}, int{'a'}, 13, 27, 101, 103, 31, 33, 275})
        rig.fire.handleKey(key);
    EXPECT_TRUE(rig.fire.respondToBall());
    EXPECT_EQ(rig.fire.paletteIndex(), 0);
    rig.fire.handleKey(kKeySpace);
    EXPECT_FALSE(rig.fire.respondToBall());
    EXPECT_EQ(rig.ballHeat(), trail);
    // Movement-mode updates keep the fade counter; the switch keeps the scroll.
    rig.fire.update();
    EXPECT_EQ(Probe::fadeCounter(rig.fire), 1);
    rig.fire.handleKey(kKeySpace);
    EXPECT_EQ(nonZero(rig.ballHeat()), 0);
    EXPECT_EQ(Probe::coolingScroll(rig.fire), (scroll + 39 * 40) % (40 * 40));
    rig.fire.update();
    EXPECT_EQ(Probe::fadeCounter(rig.fire), 0);
    EXPECT_EQ(rig.sink.lines, (std::vector<std::string>{"< Fire Effect innitialized >\n",
                                                        "< Fire responding to Movement >\n",
                                                        "< Fire responding to Ball >\n"}));
}

TEST(FireEffect, EveryLevelAndThreadCountPlaysAsTheReferenceLoops) {
    // Every picture, the heat left and the generator's next draw, which shows that the seeds
    // took as many.
    sweepEffectPlays([](const EffectPlay& in, SimdLevel level, WorkerPool& pool) {
        RecordingStatus sink;
        PortableRand random;
        MotionMask mask(in.size.cells(), 0);
        FireEffect fire(in.size.width, in.size.height, mask, in.rgb, random, sink, pool, level);
        const std::vector<std::uint32_t> pictures = in.play(fire, mask);
        return std::tuple{pictures, Probe::heat(fire), random.rand()};
    });
}

}  // namespace
}  // namespace tavlomi
