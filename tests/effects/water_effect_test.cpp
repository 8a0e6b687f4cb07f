#include "effects/water_effect.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "effects/effect_play.hpp"
#include "support/recording_status.hpp"

namespace tavlomi {

// Reaches the effect's buffers, drop and ripple step so that hand-made surfaces can be checked.
struct WaterEffectProbe {
    static std::vector<int>& current(WaterEffect& effect) { return effect.currentHeights_; }
    static std::vector<int>& next(WaterEffect& effect) { return effect.nextHeights_; }
    static const std::vector<int>& drop(const WaterEffect& effect) { return effect.drop_.entries; }
    static void propagate(WaterEffect& effect) { effect.propagate(); }
};

namespace {

constexpr int kKeyF = 102;
constexpr int kKeySpace = 32;
constexpr std::uint32_t kUntouched = 0x12345678u;
constexpr int kDropSum = -26700;

int sum(const std::vector<int>& heights) {
    return std::accumulate(heights.begin(), heights.end(), 0);
}
bool still(const std::vector<int>& heights) {
    return std::all_of(heights.begin(), heights.end(), [](int v) { return v == 0; });
}

// One effect with its grids. Camera cell (x, y) is red 50 + x, green 50 + y, blue 200, so a
// pixel tells where it was taken from.
struct Water {
    Water(int w, int h)
        : width(w), mask(w * h, 0), rgb(w * h), effect(w, h, 25, mask, rgb, sink, pool) {
        for (int i = 0; i < w * h; ++i)
            rgb[i] = makeRgbCell(50 + i % w, 50 + i / w, 200);
    }
    std::vector<int>& current() { return WaterEffectProbe::current(effect); }
    std::vector<int>& next() { return WaterEffectProbe::next(effect); }
    int at(int x, int y) { return current()[y * width + x]; }
    int olderAt(int x, int y) { return next()[y * width + x]; }
    void steps(int count) {
        for (int i = 0; i < count; ++i)
            effect.update();
    }
    std::vector<std::uint32_t> render() {
        std::vector<std::uint32_t> pixels(mask.size(), kUntouched);
        effect.render(pixels);
        return pixels;
    }

    int width;
    RecordingStatus sink;
    WorkerPool pool{1};
    MotionMask mask;
    RgbGrid rgb;
    WaterEffect effect;
};

TEST(WaterEffect, DropIsASymmetricConeOf193DipsSummingToMinus26700) {
    const Water water(4, 4);
    const std::vector<int>& drop = WaterEffectProbe::drop(water.effect);
    ASSERT_EQ(drop.size(), 256u);
    // clang-format off
    const std::pair<std::vector<int>, std::vector<int>> rows[] = {
        {{1, 15}, {0, 0, 0, 0, 0, -19, -35, -46, -50, -46, -35, -19, 0, 0, 0, 0}},
        {{4, 12}, {0, 0, -39, -79, -117, -150, -176, -193, -200, -193, -176, -150, -117, -79, -39, 0}},
        {{7, 9}, {0, -46, -95, -145, -193, -241, -288, -329, -350, -329, -288, -241, -193, -145, -95, -46}},
        {{8}, {0, -50, -100, -150, -200, -250, -300, -350, -400, -350, -300, -250, -200, -150, -100, -50}}};
    // clang-format on
    for (const auto& [indices, row] : rows) {
        for (int a : indices)
            EXPECT_EQ(std::vector<int>(&drop[a * 16], &drop[a * 16 + 16]), row) << a;
    }
    EXPECT_EQ(std::count_if(drop.begin(), drop.end(), [](int v) { return v < 0; }), 193);
    EXPECT_EQ(sum(drop), kDropSum);
}

TEST(WaterEffect, RenderRefractsByTheSlopesShiftedRightByThreeAndShadesByHalfTheirSum) {
    // Heights of cell (10, 2) of a 20 x 5 grid, its right neighbour and the cell below it; then
    // the pixel: the camera cell (50 + x, 50 + y, 200) it is taken from, shaded and clamped.
    const struct {
        const char* what;
        int here, right, below;
        std::uint32_t pixel;
    } cases[] = {
        {"dx -1: one column left, shade -1", 0, 1, 0, pixelWord(58, 51, 199)},
        {"dx 1: in place", 1, 0, 1, pixelWord(60, 52, 200)},
        {"dx 4: in place, shade 2", 4, 0, 4, pixelWord(62, 54, 202)},
        {"dx 7: in place, shade 3", 7, 0, 7, pixelWord(63, 55, 203)},
        {"dx 8: one column right, shade 4", 8, 0, 8, pixelWord(65, 56, 204)},
        {"dx -7: one column left, shade -4", -7, 0, -7, pixelWord(55, 48, 196)},
        {"dx -50: seven columns left, not six; shade -25", -50, 0, -50, pixelWord(28, 27, 175)},
        {"dy -9: two rows up, shade -5", 0, 0, 9, pixelWord(55, 45, 195)},
        {"dx -200, dy 200: clamped to the bottom-left", -200, 0, -400, pixelWord(50, 54, 200)},
        {"dx 200, dy -200: clamped to the top-right", 200, 0, 400, pixelWord(69, 50, 200)},
        {"shade -120 clamps at 0", -120, 0, 0, pixelWord(0, 0, 80)},
        {"shade 120 clamps at 255", 120, 0, 0, pixelWord(189, 174, 255)},
    };
    for (const auto& c : cases) {
        Water water(20, 5);
        water.current()[2 * 20 + 10] = c.here;
        water.current()[2 * 20 + 11] = c.right;
        water.current()[3 * 20 + 10] = c.below;
        EXPECT_EQ(water.render()[2 * 20 + 10], c.pixel) << c.what;
    }
}

TEST(WaterEffect, StillWaterShowsTheCameraAndTheLastRowAndColumnAreNeverWritten) {
    for (auto [w, h] :
         {std::pair{6, 4}, {1, 1}, {1, 5}, {5, 1}, {2, 2}, {3, 3}, {20, 5}, {5, 20}}) {
        Water water(w, h);
        std::vector<std::uint32_t> pixels = water.render();
        for (int i = 0; i < w * h; ++i) {
            const bool written = i % w < w - 1 && i / w < h - 1;
            EXPECT_EQ(pixels[i], written ? pixelWord(water.rgb[i]) : kUntouched) << w << "x" << h;
        }
        // Drops anywhere, also past the edges, then motion everywhere: nothing reaches them.
        water.mask.assign(water.mask.size(), 1);
        for (int frame = 0; frame < 40; ++frame) {
            if (frame == 20) water.effect.handleKey(kKeySpace);
            water.effect.ballMoved((frame * 7) % (w + 10) - 5, (frame * 5) % (h + 10) - 5);
            water.effect.update();
            water.effect.render(pixels);
        }
        for (int i = 0; i < w * h; ++i) {
            const bool unwritten = i % w == w - 1 || i / w == h - 1;
            EXPECT_TRUE(!unwritten || pixels[i] == kUntouched) << w << "x" << h << " " << i;
        }
    }
}

TEST(WaterEffect, BallDropsLandOnNewCellsOnlyAndKeysLeaveTheSurfaceAlone) {
    Water water(10016, 40);
    water.effect.ballMoved(20, 20);  // the first notice only records the cell
    water.effect.ballMoved(20, 20);  // so does the cell last recorded
    EXPECT_TRUE(still(water.current()));
    water.effect.ballMoved(18, 21);  // any other cell stamps the drop, entry [8][8] on it, once
    EXPECT_EQ(sum(water.current()), kDropSum);
    EXPECT_TRUE(still(water.next()));
    water.effect.ballMoved(19, 21);  // overlapping drops deepen each other
    EXPECT_EQ(water.at(18, 21), -400 - 350);
    const std::vector<int> stamped = water.current();
    EXPECT_EQ(sum(stamped), 2 * kDropSum);
    for (int key : {kKeyF, kKeyF, kKeySpace, 97, 13, 273, kKeySpace})
        water.effect.handleKey(key);
    EXPECT_EQ(water.sink.lines,
              (std::vector<std::string>{"< Water Effect initialized >\n", "< Frozen >\n",
                                        "< Unfrozen >\n", "< Water responding to Movement >\n",
                                        "< Water responding to Ball >\n"}));
    EXPECT_FALSE(water.effect.frozen());
    EXPECT_TRUE(water.effect.respondToBall());
    water.effect.ballMoved(19, 21);  // the cell recorded last
    EXPECT_EQ(water.current(), stamped);
    // Moved by motion, the water records the ball's cells without stamping; back with the ball,
    // the first drop lands on a cell other than the one recorded. Column 9999 once marked "no
    // cell yet"; on a grid this wide it is a column like any other.
    water.effect.handleKey(kKeySpace);
    water.effect.ballMoved(9999, 30);
    water.effect.handleKey(kKeySpace);
    water.effect.ballMoved(9999, 30);
    EXPECT_EQ(water.current(), stamped);
    water.effect.ballMoved(10000, 30);
    EXPECT_EQ(water.at(10000, 30), -400);
    EXPECT_EQ(sum(water.current()), 3 * kDropSum);
}

TEST(WaterEffect, FrozenDropsAndDipsPileUpAndShowAtOnceWithoutRippling) {
    Water water(32, 32);
    water.effect.handleKey(kKeyF);
    water.effect.ballMoved(20, 20);
    water.effect.ballMoved(16, 16);
    water.steps(3);
    // dx = dy = -400 - (-350) = -50: camera cell (9, 9) = (59, 59, 200), darkened by 50.
    EXPECT_EQ(water.render()[16 * 32 + 16], pixelWord(9, 9, 150));
    water.effect.ballMoved(18, 16);
    water.steps(2);
    EXPECT_EQ(water.at(16, 16), -400 - 300);
    // Motion dips, frozen too: set, kept and shown at once. Left of and above the dip a slope
    // of 400 takes the source 50 cells on, clamped to the grid, and shades it by 200; the dip
    // itself is shaded black.
    water.effect.handleKey(kKeySpace);
    water.mask[4 * 32 + 28] = 1;
    water.steps(4);
    EXPECT_EQ(sum(water.current()), 2 * kDropSum - 400);
    EXPECT_TRUE(still(water.next()));
    const std::vector<std::uint32_t> pixels = water.render();
    EXPECT_EQ(pixels[4 * 32 + 27], pixelWord(255, 254, 255));  // camera (81, 54, 200) + 200
    EXPECT_EQ(pixels[3 * 32 + 28], pixelWord(255, 255, 255));
    EXPECT_EQ(pixels[4 * 32 + 28], pixelWord(0, 0, 0));
    // Unfrozen, the ripple step resumes from both buffers as they stand.
    water.effect.handleKey(kKeyF);
    water.effect.update();
    EXPECT_EQ(water.at(28, 4), 0);
    EXPECT_EQ(water.at(27, 4), -96);
    EXPECT_EQ(water.olderAt(28, 4), -400);
}

TEST(WaterEffect, MotionOnTheBorderRowsStaysAndOnTheBorderColumnsIsOverwritten) {
    Water water(10, 8);
    water.effect.handleKey(kKeySpace);
    for (int i : {4, 3 * 10, 5 * 10 + 9})  // (4, 0), (0, 3), (9, 5)
        water.mask[i] = 1;
    water.effect.update();
    water.mask.assign(water.mask.size(), 0);
    const int* seeded = water.next().data();
    EXPECT_EQ(water.at(0, 3), -96);  // the border columns copy their inner neighbours
    EXPECT_EQ(water.at(9, 5), -96);
    // Back into the seeded buffer: five neighbours of (1, 3) at -96 sum to -480, >> 2 is -120,
    // damped -116, and the border takes that.
    water.effect.update();
    EXPECT_EQ(water.at(0, 3), -116);
    EXPECT_EQ(water.at(9, 5), -116);
    EXPECT_EQ(water.olderAt(4, 1), -96);  // row 0 acts on row 1 whenever its buffer is current
    for (int step = 0; step < 300; ++step) {
        water.effect.update();
        ASSERT_EQ(seeded[4], -400) << step;
    }
}

TEST(WaterEffect, RippleStepByHand) {
    {
        Water water(4, 4);
        water.current() = {-100, 40, -60,  20, 30, -200, 50, -10,
                           -70,  90, -300, 15, 5,  -45,  80, -120};
        water.next() = {7, 7, 7, 7, 11, -30, 60, 13, 17, 25, -100, 19, 9, 9, 9, 9};
        // (1,1): s -320, >> 2 -80, v -50, -50 / 25 = -2: -48.
        // (2,1): s -405, >> 2 -102, v -162, / 25 = -6: -156.
        // (1,2): s -450, >> 2 -113, v -138, / 25 = -5: -133.
        // (2,2): s -140, >> 2 -35, v 65, / 25 = 2: 63.
        // Rows 0 and 3 are not written; each border column copies its inner neighbour.
        const std::vector<int> expected = {7,    7,    7,  7,  -48, -48, -156, -156,
                                           -133, -133, 63, 63, 9,   9,   9,    9};
        const std::vector<int> before = water.current();
        WaterEffectProbe::propagate(water.effect);
        EXPECT_EQ(water.current(), expected);
        EXPECT_EQ(water.next(), before);
    }
    // The damping leaves -24..24 alone and truncates toward 0 beyond.
    for (int v = -60; v <= 60; ++v) {
        Water one(3, 3);
        one.next()[4] = -v;
        WaterEffectProbe::propagate(one.effect);
        const int e = v - (v >= 50 ? 2 : v >= 25 ? 1 : v <= -50 ? -2 : v <= -25 ? -1 : 0);
        EXPECT_EQ(one.current(), (std::vector<int>{0, 0, 0, e, e, e, 0, 0, 0})) << v;
    }
}

TEST(WaterEffect, SmallGridsClipTheDropAndWithoutInteriorOnlySwap) {
    // A 3 x 3 grid holds the middle of a drop at (1, 1) and a quarter of one at (0, 0).
    for (auto [at, heights] :
         {std::pair{1, std::vector{-329, -350, -329, -350, -400, -350, -329, -350, -329}},
          {0, std::vector{-400, -350, -300, -350, -329, -288, -300, -288, -258}}}) {
        Water water(3, 3);
        water.effect.ballMoved(9, 9);
        water.effect.ballMoved(at, at);
        EXPECT_EQ(water.current(), heights) << at;
    }
    for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {1, 6}, {2, 6}, {6, 1}, {6, 2}}) {
        Water thin(w, h);
        thin.effect.ballMoved(40, 40);
        thin.effect.ballMoved(0, 0);
        const std::vector<int> stamped = thin.current();
        EXPECT_EQ(stamped[0], -400) << w << "x" << h;
        thin.effect.update();
        EXPECT_EQ(thin.next(), stamped) << w << "x" << h;
        EXPECT_TRUE(still(thin.current())) << w << "x" << h;
        thin.effect.update();
        EXPECT_EQ(thin.current(), stamped) << w << "x" << h;
    }
}

TEST(WaterEffect, EveryLevelAndThreadCountPlaysAsTheReferenceLoops) {
    sweepEffectPlays([](const EffectPlay& in, SimdLevel level, WorkerPool& pool) {
        RecordingStatus sink;
        MotionMask mask(in.size.cells(), 0);
        WaterEffect effect(in.size.width, in.size.height, 25, mask, in.rgb, sink, pool, level);
        const std::vector<std::uint32_t> pictures = in.play(effect, mask);
        return std::pair{pictures, WaterEffectProbe::current(effect)};
    });
}

}  // namespace
}  // namespace tavlomi
