#include "effects/water_effect.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavlomi {

// Reaches the effect's buffers and internal steps so that hand-made surfaces can be checked.
struct WaterEffectProbe {
    static std::vector<int>& current(WaterEffect& effect) { return effect.currentHeights_; }
    static std::vector<int>& next(WaterEffect& effect) { return effect.nextHeights_; }
    static void propagate(WaterEffect& effect) { effect.propagate(); }
    static void stampDrop(WaterEffect& effect, int x, int y) { effect.stampDrop(x, y); }
};

namespace {

constexpr int kKeyF = 102;
constexpr int kKeySpace = 32;
constexpr std::uint32_t kUntouched = 0x12345678u;

class RecordingSink final : public StatusSink {
  public:
    void print(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

// Every cell tells where it came from: red is 50 + column, green 50 + row, blue 200.
RgbGrid tracedCamera(int width, int height) {
    RgbGrid rgb(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            rgb[y * width + x] = makeRgbCell(50 + x, 50 + y, 200);
    }
    return rgb;
}

// One effect with its grids, owned together so the references stay valid.
struct Water {
    Water(int w, int h, int damping = 25)
        : width(w),
          height(h),
          mask(static_cast<std::size_t>(w * h), 0),
          rgb(tracedCamera(w, h)),
          effect(w, h, damping, mask, rgb, sink) {}

    int at(int x, int y) const { return effect.currentHeights()[y * width + x]; }
    int olderAt(int x, int y) const { return effect.nextHeights()[y * width + x]; }
    std::vector<int>& current() { return WaterEffectProbe::current(effect); }
    std::vector<int>& next() { return WaterEffectProbe::next(effect); }
    void setMotion(int x, int y, std::uint8_t value) { mask[y * width + x] = value; }
    std::vector<std::uint32_t> render() {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width * height), kUntouched);
        effect.render(pixels);
        return pixels;
    }

    int width;
    int height;
    RecordingSink sink;
    MotionMask mask;
    RgbGrid rgb;
    WaterEffect effect;
};

int sumOf(const std::vector<int>& values) {
    return std::accumulate(values.begin(), values.end(), 0);
}

bool allZero(const std::vector<int>& values) {
    return std::all_of(values.begin(), values.end(), [](int v) { return v == 0; });
}

TEST(WaterEffectConstruction, StartsStillAndAnnouncesItself) {
    Water water(7, 5);
    ASSERT_EQ(water.sink.lines.size(), 1u);
    EXPECT_EQ(water.sink.lines[0], "< Water Effect initialized >\n");
    EXPECT_EQ(water.effect.currentHeights().size(), 35u);
    EXPECT_EQ(water.effect.nextHeights().size(), 35u);
    EXPECT_TRUE(allZero(water.effect.currentHeights()));
    EXPECT_TRUE(allZero(water.effect.nextHeights()));
    EXPECT_FALSE(water.effect.frozen());
    EXPECT_TRUE(water.effect.respondToBall());
    EXPECT_EQ(water.effect.lastBall(), (WaterEffect::Cell{9999, 9999}));
}

TEST(WaterEffectDrop, IsAConeOfRadiusEight) {
    Water water(4, 4);
    const WaterEffect::Drop& drop = water.effect.drop();
    ASSERT_EQ(drop.radius, 8);
    ASSERT_EQ(drop.side, 16);
    ASSERT_EQ(drop.entries.size(), 256u);

    const std::array<int, 16> row1 = {0, 0, 0, 0, 0, -19, -35, -46, -50, -46, -35, -19, 0, 0, 0, 0};
    const std::array<int, 16> row4 = {0,    0,    -39,  -79,  -117, -150, -176, -193,
                                      -200, -193, -176, -150, -117, -79,  -39,  0};
    const std::array<int, 16> row7 = {0,    -46,  -95,  -145, -193, -241, -288, -329,
                                      -350, -329, -288, -241, -193, -145, -95,  -46};
    const std::array<int, 16> row8 = {0,    -50,  -100, -150, -200, -250, -300, -350,
                                      -400, -350, -300, -250, -200, -150, -100, -50};
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(drop.at(1, c), row1[c]) << c;
        EXPECT_EQ(drop.at(15, c), row1[c]) << c;
        EXPECT_EQ(drop.at(4, c), row4[c]) << c;
        EXPECT_EQ(drop.at(12, c), row4[c]) << c;
        EXPECT_EQ(drop.at(7, c), row7[c]) << c;
        EXPECT_EQ(drop.at(9, c), row7[c]) << c;
        EXPECT_EQ(drop.at(8, c), row8[c]) << c;
        EXPECT_EQ(drop.at(0, c), 0) << c;
        EXPECT_EQ(drop.at(c, 0), 0) << c;
    }
}

TEST(WaterEffectDrop, IsSymmetricWith193DipsSummingToMinus26700) {
    Water water(4, 4);
    const WaterEffect::Drop& drop = water.effect.drop();
    int nonZero = 0;
    for (int a = 0; a < 16; ++a) {
        for (int c = 0; c < 16; ++c) {
            EXPECT_EQ(drop.at(a, c), drop.at(c, a)) << a << "," << c;
            EXPECT_LE(drop.at(a, c), 0);
            if (drop.at(a, c) != 0) ++nonZero;
        }
    }
    EXPECT_EQ(nonZero, 193);
    EXPECT_EQ(sumOf(drop.entries), -26700);
}

TEST(WaterEffectRender, StillSurfaceShowsTheCameraAndLeavesLastRowAndColumn) {
    Water water(6, 4);
    const std::vector<std::uint32_t> pixels = water.render();
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            const std::uint32_t expected =
                (x == 5 || y == 3) ? kUntouched : pixelWord(50 + x, 50 + y, 200);
            EXPECT_EQ(pixels[y * 6 + x], expected) << x << "," << y;
        }
    }
}

// Sets the heights render reads for cell (x, y): the cell, its right neighbour, the cell below.
void shapeSlope(Water& water, int x, int y, int here, int right, int below) {
    water.current()[y * water.width + x] = here;
    water.current()[y * water.width + x + 1] = right;
    water.current()[(y + 1) * water.width + x] = below;
}

std::uint32_t renderedAt(Water& water, int x, int y) {
    return water.render()[y * water.width + x];
}

TEST(WaterEffectRender, DisplacementRoundsTowardMinusInfinity) {
    {
        Water water(20, 5);
        shapeSlope(water, 10, 1, 0, 1, 0);  // dx -1: one column left, shade -1
        EXPECT_EQ(renderedAt(water, 10, 1), pixelWord(58, 50, 199));
    }
    const std::array<int, 7> shades = {0, 1, 1, 2, 2, 3, 3};
    for (int dx = 1; dx <= 7; ++dx) {
        Water water(20, 5);
        shapeSlope(water, 10, 1, dx, 0, dx);
        const int shade = shades[dx - 1];
        EXPECT_EQ(renderedAt(water, 10, 1), pixelWord(60 + shade, 51 + shade, 200 + shade)) << dx;
    }
    {
        Water water(20, 5);
        shapeSlope(water, 10, 1, 8, 0, 8);  // dx 8: one column right, shade 4
        EXPECT_EQ(renderedAt(water, 10, 1), pixelWord(65, 55, 204));
    }
    {
        Water water(20, 5);
        shapeSlope(water, 10, 1, -7, 0, -7);  // dx -7: one column left, shade -4
        EXPECT_EQ(renderedAt(water, 10, 1), pixelWord(55, 47, 196));
    }
    {
        Water water(20, 5);
        shapeSlope(water, 10, 1, -50, 0, -50);  // dx -50: seven columns left, shade -25
        EXPECT_EQ(renderedAt(water, 10, 1), pixelWord(28, 26, 175));
    }
    {
        Water water(20, 5);
        shapeSlope(water, 10, 3, 0, 0, 9);  // dy -9: two rows up, shade -5
        EXPECT_EQ(renderedAt(water, 10, 3), pixelWord(55, 46, 195));
    }
}

TEST(WaterEffectRender, SourceCellIsClampedToTheGrid) {
    {
        Water water(20, 5);
        shapeSlope(water, 10, 1, -200, 0, -400);  // dx -200, dy 200: bottom-left cell, no shade
        EXPECT_EQ(renderedAt(water, 10, 1), pixelWord(50, 54, 200));
    }
    {
        Water water(20, 5);
        shapeSlope(water, 10, 1, 200, 0, 400);  // dx 200, dy -200: top-right cell, no shade
        EXPECT_EQ(renderedAt(water, 10, 1), pixelWord(69, 50, 200));
    }
}

TEST(WaterEffectRender, LastRowAndColumnKeepPreviousContentsUnderRipples) {
    Water water(24, 24);
    water.effect.ballMoved(10, 10);
    water.effect.ballMoved(12, 14);
    for (int i = 0; i < 5; ++i)
        water.effect.update();
    std::vector<std::uint32_t> pixels(24 * 24, kUntouched);
    water.effect.render(pixels);
    int changed = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            if (x == 23 || y == 23) {
                EXPECT_EQ(pixels[y * 24 + x], kUntouched) << x << "," << y;
            } else if (pixels[y * 24 + x] != pixelWord(50 + x, 50 + y, 200)) {
                ++changed;
            }
        }
    }
    EXPECT_GT(changed, 0);
}

TEST(WaterEffectRender, FrozenSingleDropShiftsSevenUpLeftAndDarkensByFifty) {
    Water water(32, 32);
    water.effect.handleKey(kKeyF);
    water.effect.ballMoved(20, 20);
    water.effect.ballMoved(16, 16);
    water.effect.update();
    EXPECT_EQ(water.at(16, 16), -400);
    EXPECT_EQ(water.at(17, 16), -350);
    EXPECT_EQ(water.at(16, 17), -350);
    // The camera cell (9, 9) is red 59, green 59, blue 200.
    EXPECT_EQ(renderedAt(water, 16, 16), pixelWord(9, 9, 150));
}

TEST(WaterEffectRender, ShadeClampsEachChannel) {
    Water water(12, 12);
    shapeSlope(water, 5, 5, -16, 0, -16);  // dx -16: two columns left, shade -8
    water.rgb[5 * 12 + 3] = makeRgbCell(30, 5, 255);
    EXPECT_EQ(renderedAt(water, 5, 5), pixelWord(22, 0, 247));
    shapeSlope(water, 5, 5, 16, 0, 16);  // dx 16: two columns right, shade 8
    water.rgb[5 * 12 + 7] = makeRgbCell(250, 0, 100);
    EXPECT_EQ(renderedAt(water, 5, 5), pixelWord(255, 8, 108));
}

TEST(WaterEffectBall, FirstMoveRecordsSameCellIgnoredOtherCellStampsOnce) {
    Water water(40, 40);
    water.effect.ballMoved(20, 20);
    EXPECT_TRUE(allZero(water.effect.currentHeights()));
    EXPECT_EQ(water.effect.lastBall(), (WaterEffect::Cell{20, 20}));

    water.effect.ballMoved(20, 20);
    EXPECT_TRUE(allZero(water.effect.currentHeights()));

    water.effect.ballMoved(18, 21);
    EXPECT_EQ(water.effect.lastBall(), (WaterEffect::Cell{18, 21}));
    EXPECT_EQ(water.at(18, 21), -400);
    EXPECT_EQ(sumOf(water.effect.currentHeights()), -26700);
    EXPECT_TRUE(allZero(water.effect.nextHeights()));
    for (int a = 0; a < 16; ++a) {
        for (int c = 0; c < 16; ++c) {
            EXPECT_EQ(water.at(10 + c, 13 + a), water.effect.drop().at(a, c));
        }
    }
}

TEST(WaterEffectBall, OverlappingDropsDeepenEachOther) {
    Water water(40, 40);
    water.effect.ballMoved(10, 10);
    water.effect.ballMoved(16, 16);
    water.effect.ballMoved(17, 16);
    water.effect.ballMoved(16, 16);
    EXPECT_EQ(water.at(16, 16), -400 - 350 - 400);
    EXPECT_EQ(water.at(17, 16), -350 - 400 - 350);
    EXPECT_EQ(sumOf(water.effect.currentHeights()), 3 * -26700);
}

TEST(WaterEffectBall, MotionModeRecordsWithoutStampingAndBallModeResumesOnANewCell) {
    Water water(40, 40);
    water.effect.handleKey(kKeySpace);
    water.effect.ballMoved(16, 16);
    water.effect.ballMoved(20, 20);
    water.effect.update();
    EXPECT_TRUE(allZero(water.effect.currentHeights()));
    EXPECT_TRUE(allZero(water.effect.nextHeights()));
    EXPECT_EQ(water.effect.lastBall(), (WaterEffect::Cell{20, 20}));

    water.effect.handleKey(kKeySpace);
    water.effect.ballMoved(20, 20);
    EXPECT_TRUE(allZero(water.effect.currentHeights()));
    water.effect.ballMoved(21, 20);
    EXPECT_EQ(water.at(21, 20), -400);
    EXPECT_EQ(sumOf(water.effect.currentHeights()), -26700);
}

TEST(WaterEffectFrozen, BallDropsPileUpWithoutRippling) {
    Water water(40, 40);
    water.effect.handleKey(kKeyF);
    water.effect.ballMoved(16, 16);
    water.effect.ballMoved(20, 20);
    water.effect.update();
    water.effect.ballMoved(22, 20);
    water.effect.update();
    water.effect.update();
    EXPECT_EQ(water.at(20, 20), -400 - 300);
    EXPECT_EQ(water.at(22, 20), -300 - 400);
    EXPECT_EQ(sumOf(water.effect.currentHeights()), 2 * -26700);
    EXPECT_TRUE(allZero(water.effect.nextHeights()));
}

TEST(WaterEffectMotion, MotionCellHoldsExactlyMinus400EveryFrame) {
    Water water(12, 12);
    water.effect.handleKey(kKeySpace);
    water.setMotion(5, 5, 1);
    water.effect.update();
    // The seeded buffer is now the older one; the new surface is the first step from the dip.
    EXPECT_EQ(water.olderAt(5, 5), -400);
    EXPECT_EQ(water.at(5, 5), 0);
    EXPECT_EQ(water.at(4, 5), -96);
    EXPECT_EQ(water.at(6, 6), -96);
    EXPECT_EQ(water.at(3, 5), 0);
    for (int frame = 0; frame < 60; ++frame) {
        water.effect.update();
        EXPECT_EQ(water.olderAt(5, 5), -400) << frame;
    }
}

TEST(WaterEffectMotion, FrozenDipsStayAndShowAtOnce) {
    Water water(32, 32);
    water.effect.handleKey(kKeySpace);
    water.effect.handleKey(kKeyF);
    water.setMotion(10, 10, 1);
    for (int i = 0; i < 4; ++i)
        water.effect.update();
    EXPECT_EQ(water.at(10, 10), -400);
    EXPECT_EQ(sumOf(water.effect.currentHeights()), -400);
    EXPECT_TRUE(allZero(water.effect.nextHeights()));

    const std::vector<std::uint32_t> pixels = water.render();
    // Left of the dip: dx 400 moves the source 50 columns right, clamped to column 31; shade 200.
    EXPECT_EQ(pixels[10 * 32 + 9], pixelWord(255, 255, 255));
    // Above it: dy 400, source clamped to row 31; shade 200 on camera (10, 31) = 60, 81, 200.
    EXPECT_EQ(pixels[9 * 32 + 10], pixelWord(255, 255, 255));
    // The dip itself: shade -400 leaves black.
    EXPECT_EQ(pixels[10 * 32 + 10], pixelWord(0, 0, 0));

    // Unfrozen, the ripple step resumes from both buffers as they stand.
    water.setMotion(10, 10, 0);
    water.effect.handleKey(kKeyF);
    water.effect.update();
    EXPECT_EQ(water.at(10, 10), 0);
    EXPECT_EQ(water.at(9, 10), -96);
    EXPECT_EQ(water.olderAt(10, 10), -400);
}

TEST(WaterEffectMotion, ShadeOfDipNeighboursUsesTheClampedSourceCell) {
    Water water(32, 32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x)
            water.rgb[y * 32 + x] = makeRgbCell(x, y, 0);
    }
    water.effect.handleKey(kKeySpace);
    water.effect.handleKey(kKeyF);
    water.setMotion(10, 10, 1);
    water.effect.update();
    const std::vector<std::uint32_t> pixels = water.render();
    EXPECT_EQ(pixels[10 * 32 + 9], pixelWord(31 + 200, 10 + 200, 200));
    EXPECT_EQ(pixels[9 * 32 + 10], pixelWord(10 + 200, 31 + 200, 200));
}

TEST(WaterEffectMotion, SeedingIsAnAssignment) {
    Water water(40, 40);
    water.effect.handleKey(kKeyF);
    water.effect.ballMoved(10, 10);
    water.effect.ballMoved(20, 20);
    water.effect.handleKey(kKeySpace);
    water.setMotion(20, 20, 1);
    water.setMotion(0, 0, 1);
    water.setMotion(39, 39, 1);
    water.effect.update();
    water.effect.update();
    EXPECT_EQ(water.at(20, 20), -400);
    EXPECT_EQ(water.at(21, 20), -350);
    EXPECT_EQ(water.at(0, 0), -400);
    EXPECT_EQ(water.at(39, 39), -400);
}

TEST(WaterEffectMotion, MotionInRowZeroStaysForeverInItsBuffer) {
    Water water(10, 8);
    water.effect.handleKey(kKeySpace);
    water.setMotion(4, 0, 1);
    water.effect.update();
    water.setMotion(4, 0, 0);
    const int* seeded = water.effect.nextHeights().data();
    EXPECT_EQ(water.olderAt(4, 0), -400);
    EXPECT_EQ(water.at(4, 0), 0);
    // The dip keeps acting on row 1 whenever its buffer is current.
    water.effect.update();
    EXPECT_EQ(water.at(4, 0), -400);
    EXPECT_EQ(water.olderAt(4, 1), -96);
    for (int step = 0; step < 300; ++step) {
        water.effect.update();
        const std::vector<int>& other = water.effect.currentHeights().data() == seeded
                                            ? water.effect.nextHeights()
                                            : water.effect.currentHeights();
        EXPECT_EQ(seeded[4], -400) << step;
        EXPECT_EQ(other[4], 0) << step;
    }
}

TEST(WaterEffectMotion, BorderColumnIsOverwrittenOnTheSecondStep) {
    Water water(10, 8);
    water.effect.handleKey(kKeySpace);
    water.setMotion(0, 3, 1);
    water.setMotion(9, 5, 1);
    water.effect.update();
    water.setMotion(0, 3, 0);
    water.setMotion(9, 5, 0);
    EXPECT_EQ(water.olderAt(0, 3), -400);
    EXPECT_EQ(water.olderAt(9, 5), -400);
    // First step: the new surface's border copies its inner neighbour.
    EXPECT_EQ(water.at(1, 3), -96);
    EXPECT_EQ(water.at(0, 3), -96);
    EXPECT_EQ(water.at(8, 5), -96);
    EXPECT_EQ(water.at(9, 5), -96);
    // Second step, back into the seeded buffer: five neighbours of (1, 3) hold -96, which sum to
    // -480, >>2 -120, damped to -116, and the border takes that.
    water.effect.update();
    EXPECT_EQ(water.at(1, 3), -116);
    EXPECT_EQ(water.at(0, 3), -116);
    EXPECT_EQ(water.at(8, 5), -116);
    EXPECT_EQ(water.at(9, 5), -116);
}

TEST(WaterEffectRipple, HandComputedStepOnFourByFour) {
    Water water(4, 4);
    water.current() = {-100, 40,   -60,  20,   //
                       30,   -200, 50,   -10,  //
                       -70,  90,   -300, 15,   //
                       5,    -45,  80,   -120};
    water.next() = {7,  7,   7,    7,   //
                    11, -30, 60,   13,  //
                    17, 25,  -100, 19,  //
                    9,  9,   9,    9};
    const std::vector<int> before = water.current();
    WaterEffectProbe::propagate(water.effect);
    // (1,1): s -320, >>2 -80, v -50, -50/25 -2: -48.
    // (2,1): s -405, >>2 -102, v -162, -162/25 -6: -156.
    // (1,2): s -450, >>2 -113, v -138, -138/25 -5: -133.
    // (2,2): s -140, >>2 -35, v 65, 65/25 2: 63.
    const std::vector<int> expected = {7,    7,    7,    7,     //
                                       -48,  -48,  -156, -156,  //
                                       -133, -133, 63,   63,    //
                                       9,    9,    9,    9};
    EXPECT_EQ(water.effect.currentHeights(), expected);
    EXPECT_EQ(water.effect.nextHeights(), before);
}

TEST(WaterEffectRipple, HandComputedStepWithStrongDamping) {
    Water water(5, 3, 3);
    water.current() = {0,  -3, 0,  9, 0,  //
                       -5, 0,  0,  0, 2,  //
                       0,  0,  -1, 0, 0};
    water.next() = {1, 1, 1,  1, 1,  //
                    1, 4, -4, 0, 1,  //
                    1, 1, 1,  1, 1};
    WaterEffectProbe::propagate(water.effect);
    // (1,1): s -9, >>2 -3, v -7, -7/3 -2: -5.
    // (2,1): s 5, >>2 1, v 5, 5/3 1: 4.
    // (3,1): s 10, >>2 2, v 2, 2/3 0: 2.
    const std::vector<int> expected = {1,  1,  1, 1, 1,  //
                                       -5, -5, 4, 2, 2,  //
                                       1,  1,  1, 1, 1};
    EXPECT_EQ(water.effect.currentHeights(), expected);
}

TEST(WaterEffectRipple, DampingLeavesSmallValuesAlone) {
    for (int v = -60; v <= 60; ++v) {
        Water water(3, 3);
        water.next()[4] = -v;
        WaterEffectProbe::propagate(water.effect);
        int expected = v;
        if (v >= 25 && v <= 49) expected = v - 1;
        if (v >= 50) expected = v - 2;
        if (v <= -25 && v >= -49) expected = v + 1;
        if (v <= -50) expected = v + 2;
        EXPECT_EQ(water.at(1, 1), expected) << v;
        EXPECT_EQ(water.at(0, 1), expected) << v;
        EXPECT_EQ(water.at(2, 1), expected) << v;
    }
}

TEST(WaterEffectRipple, FrozenSkipsTheStepAndTheSwap) {
    Water water(40, 40);
    water.effect.ballMoved(16, 16);
    water.effect.ballMoved(20, 20);
    water.effect.update();
    water.effect.handleKey(kKeyF);
    const std::vector<int> current = water.effect.currentHeights();
    const std::vector<int> older = water.effect.nextHeights();
    for (int i = 0; i < 5; ++i)
        water.effect.update();
    EXPECT_EQ(water.effect.currentHeights(), current);
    EXPECT_EQ(water.effect.nextHeights(), older);
}

// A single drop does not bring the whole interior to rest. Rows 0 and height - 1 are held at 0
// while uniform heights of -24..24 are all at rest and the shift's rounding settles the middle at
// -24, so the rows near the top and bottom edges keep moving; only the middle comes to rest.
TEST(WaterEffectRipple, SingleDropSettlesTheMiddleNearMinus24) {
    Water water(64, 48);
    water.effect.ballMoved(31, 24);
    water.effect.ballMoved(32, 24);
    for (int step = 0; step < 400; ++step)
        water.effect.update();
    int lowest = 0;
    for (int step = 400; step < 3000; ++step) {
        water.effect.update();
        for (int y = 16; y < 32; ++y) {
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(water.at(x, y), -24) << step << ":" << x;
        }
        const std::vector<int>& heights = water.effect.currentHeights();
        lowest = std::min(lowest, *std::min_element(heights.begin(), heights.end()));
    }
    EXPECT_GE(lowest, -30);

    bool edgeRowsMoving = false;
    for (int y = 1; y < 12; ++y) {
        for (int x = 0; x < 64; ++x) {
            if (water.at(x, y) != water.olderAt(x, y)) edgeRowsMoving = true;
        }
    }
    EXPECT_TRUE(edgeRowsMoving);
}

TEST(WaterEffectKeys, FreezeKeyTogglesAndReports) {
    Water water(8, 8);
    water.effect.handleKey(kKeyF);
    EXPECT_TRUE(water.effect.frozen());
    water.effect.handleKey(kKeyF);
    EXPECT_FALSE(water.effect.frozen());
    ASSERT_EQ(water.sink.lines.size(), 3u);
    EXPECT_EQ(water.sink.lines[1], "< Frozen >\n");
    EXPECT_EQ(water.sink.lines[2], "< Unfrozen >\n");
}

TEST(WaterEffectKeys, SpaceTogglesTheSourceAndReports) {
    Water water(8, 8);
    water.effect.handleKey(kKeySpace);
    EXPECT_FALSE(water.effect.respondToBall());
    water.effect.handleKey(kKeySpace);
    EXPECT_TRUE(water.effect.respondToBall());
    ASSERT_EQ(water.sink.lines.size(), 3u);
    EXPECT_EQ(water.sink.lines[1], "< Water responding to Movement >\n");
    EXPECT_EQ(water.sink.lines[2], "< Water responding to Ball >\n");
}

TEST(WaterEffectKeys, KeysLeaveSurfaceAndBallCellAlone) {
    Water water(40, 40);
    water.effect.ballMoved(16, 16);
    water.effect.ballMoved(20, 20);
    const std::vector<int> current = water.effect.currentHeights();
    for (int key : std::array<int, 8>{kKeyF, kKeySpace, 97, 103, 13, 273, kKeyF, kKeySpace}) {
        water.effect.handleKey(key);
    }
    EXPECT_EQ(water.effect.currentHeights(), current);
    EXPECT_TRUE(allZero(water.effect.nextHeights()));
    EXPECT_EQ(water.effect.lastBall(), (WaterEffect::Cell{20, 20}));
    EXPECT_EQ(water.sink.lines.size(), 5u);
    EXPECT_FALSE(water.effect.frozen());
    EXPECT_TRUE(water.effect.respondToBall());
}

// The expected clipped stamp: the drop entries whose cells fall inside the grid.
std::vector<int> clippedDrop(const WaterEffect::Drop& drop, int width, int height, int x, int y) {
    std::vector<int> heights(static_cast<std::size_t>(width * height), 0);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const int a = row - y + 8;
            const int c = column - x + 8;
            if (a >= 0 && a < 16 && c >= 0 && c < 16) heights[row * width + column] = drop.at(a, c);
        }
    }
    return heights;
}

TEST(WaterEffectSmallGrids, DropsAreClippedToTheGrid) {
    struct Case {
        int width, height, x, y;
    };
    const std::array<Case, 12> cases = {{{10, 10, 2, 3},
                                         {10, 10, 9, 9},
                                         {10, 10, 0, 0},
                                         {20, 5, 10, 2},
                                         {20, 5, 19, 4},
                                         {1, 1, 0, 0},
                                         {2, 2, 1, 1},
                                         {3, 3, 1, 1},
                                         {40, 40, 1, 38},
                                         {40, 40, -5, 20},
                                         {40, 40, 47, 20},
                                         {40, 40, 20, 100}}};
    for (const Case& k : cases) {
        Water water(k.width, k.height);
        WaterEffectProbe::stampDrop(water.effect, k.x, k.y);
        EXPECT_EQ(water.effect.currentHeights(),
                  clippedDrop(water.effect.drop(), k.width, k.height, k.x, k.y))
            << k.width << "x" << k.height << " at " << k.x << "," << k.y;
        EXPECT_TRUE(allZero(water.effect.nextHeights()));
    }
}

TEST(WaterEffectSmallGrids, ClippedDropsHaveTheDropsValuesAtTheirCells) {
    Water water(3, 3);
    WaterEffectProbe::stampDrop(water.effect, 1, 1);
    const std::vector<int> centred = {-329, -350, -329,  //
                                      -350, -400, -350,  //
                                      -329, -350, -329};
    EXPECT_EQ(water.effect.currentHeights(), centred);

    Water corner(3, 3);
    WaterEffectProbe::stampDrop(corner.effect, 0, 0);
    const std::vector<int> fromCorner = {-400, -350, -300,  //
                                         -350, -329, -288,  //
                                         -300, -288, -258};
    EXPECT_EQ(corner.effect.currentHeights(), fromCorner);

    Water single(1, 1);
    single.effect.ballMoved(5, 5);
    single.effect.ballMoved(0, 0);
    EXPECT_EQ(single.at(0, 0), -400);
}

TEST(WaterEffectSmallGrids, GridsWithoutInteriorWriteNoHeights) {
    for (const auto& [w, h] : std::array<std::pair<int, int>, 7>{
             {{1, 1}, {2, 2}, {1, 6}, {2, 6}, {6, 1}, {6, 2}, {2, 1}}}) {
        Water water(w, h);
        water.effect.ballMoved(40, 40);
        water.effect.ballMoved(0, 0);
        const std::vector<int> stamped = water.effect.currentHeights();
        water.effect.update();
        EXPECT_EQ(water.effect.nextHeights(), stamped) << w << "x" << h;
        EXPECT_TRUE(allZero(water.effect.currentHeights())) << w << "x" << h;
        water.effect.update();
        EXPECT_EQ(water.effect.currentHeights(), stamped) << w << "x" << h;
        EXPECT_TRUE(allZero(water.effect.nextHeights())) << w << "x" << h;
    }
}

TEST(WaterEffectSmallGrids, ThinGridsRenderOnlyWhereBothNeighboursExist) {
    for (const auto& [w, h] :
         std::array<std::pair<int, int>, 5>{{{1, 1}, {1, 5}, {5, 1}, {2, 2}, {3, 3}}}) {
        Water water(w, h);
        water.effect.ballMoved(40, 40);
        water.effect.ballMoved(w - 1, h - 1);
        water.effect.handleKey(kKeySpace);
        water.mask.assign(water.mask.size(), 1);
        for (int i = 0; i < 3; ++i)
            water.effect.update();
        const std::vector<std::uint32_t> pixels = water.render();
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool written = x < w - 1 && y < h - 1;
                if (written) {
                    EXPECT_NE(pixels[y * w + x], kUntouched) << w << "x" << h;
                } else {
                    EXPECT_EQ(pixels[y * w + x], kUntouched) << w << "x" << h;
                }
            }
        }
    }
}

TEST(WaterEffectSmallGrids, SmallGridsRippleSafelyForManyFrames) {
    for (const auto& [w, h] :
         std::array<std::pair<int, int>, 6>{{{3, 3}, {4, 3}, {3, 4}, {10, 10}, {20, 5}, {5, 20}}}) {
        Water water(w, h);
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h), kUntouched);
        for (int frame = 0; frame < 50; ++frame) {
            water.effect.ballMoved((frame * 7) % (w + 10) - 5, (frame * 5) % (h + 10) - 5);
            water.effect.update();
            water.effect.render(pixels);
        }
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(pixels[(h - 1) * w + x], kUntouched);
        for (int y = 0; y < h; ++y)
            EXPECT_EQ(pixels[y * w + w - 1], kUntouched);
    }
}

}  // namespace
}  // namespace tavlomi
