#include "ball/ball.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "common/screen.hpp"

namespace tavlomi {
namespace {

constexpr int kW = 320;
constexpr int kH = 240;
using Rects = std::vector<std::array<int, 4>>;  // columns x0..x1 of rows y0..y1

::testing::AssertionResult near(Vec2 v, double x, double y, double tolerance = 0.0) {
    if (std::abs(v.x - x) <= tolerance && std::abs(v.y - y) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "(" << v.x << ", " << v.y << ") is not (" << x << ", " << y << ")";
}

// The shell's ball: scale 1, radius 10, a 320 x 240 mask; one step with `moving` in motion.
struct BallTest : ::testing::Test {
    Ball stepped(float x, float y, const Rects& moving = {}) {
        mask.assign(mask.size(), 0);
        for (auto [x0, y0, x1, y1] : moving) {
            for (int row = y0; row <= y1; ++row) {
                for (int column = x0; column <= x1; ++column)
                    mask[row * kW + column] = 1;
            }
        }
        Ball ball(x, y, 1, 10, mask, kW, kH);
        ball.update();
        return ball;
    }
    MotionMask mask = MotionMask(kW * kH, 0);
};

TEST_F(BallTest, OneStepFromRest) {
    // Start, what moves, then the velocity and the position after the step, within tolerance.
    // Pushes are carried in double and rounded once per operation: from offset (3, 3) the
    // velocity is -0.15 / sqrt(2) rounded to a float, to the last bit.
    const float push33 = static_cast<float>(-0.15 / std::sqrt(2.0));
    const struct {
        const char* what;
        float x, y;
        Rects moving;
        double vx, vy, px, py, tolerance;
    } cases[] = {
        // clang-format off
        {"(3, 4): force (-0.18, -0.24)", 160, 120, {{163, 124, 163, 124}},
         -0.09, -0.12, 159.91, 119.88, 1e-4},
        {"(3, 3), exactly", 160, 120, {{163, 123, 163, 123}},
         push33, push33, static_cast<float>(160 + push33), static_cast<float>(120 + push33), 0},
        {"the cell is truncated", 160.9f, 120.9f, {{163, 124, 163, 124}},
         -0.09, -0.12, 160.81, 120.78, 1e-4},
        {"(5, 8) counts", 160, 120, {{165, 128, 165, 128}},
         -0.0795, -0.1272, 159.9205, 119.8728, 1e-4},
        {"own row and column never push", 160, 120, {{0, 120, kW - 1, 120}, {160, 0, 160, kH - 1}},
         0, 0, 160, 120, 0},
        {"all 268 cancel in pairs", 160, 120, {{0, 0, kW - 1, kH - 1}}, 0, 0, 160, 120, 1e-5},
        {"134 with dx > 0: about (-26.26, 0)", 160, 120, {{161, 0, kW - 1, kH - 1}},
         -13.13, 0, 146.87, 120, 0.005},
        {"outside, on the rim (6, 8), on -10", 160.7f, 120.2f,
         {{0, 0, 0, 0}, {166, 128, 166, 128}, {150, 119, 150, 119}, {159, 110, 159, 110}},
         0, 0, 160.7f, 120.2f, 0},
        {"start clamped at the first step", 2, 230, {}, 0, 0, 16, 224, 0},
        {"stopped at the bound", 17, 120, {{18, 0, kW - 1, kH - 1}}, -13.13, 0, 16, 120, 0.005},
        // Each offset (dx, 3), dx <= -2, of a ball on column 2 reads column 0 and pushes along
        // its own offset: the lookup is clamped, never the push.
        {"clamped lookup", 2, 120, {{0, 123, 0, 123}}, 0.99268, -0.62432, 16, 119.37568, 1e-4},
        // clang-format on
    };
    for (const auto& c : cases) {
        const Ball ball = stepped(c.x, c.y, c.moving);
        EXPECT_TRUE(near(ball.velocity(), c.vx, c.vy, c.tolerance)) << c.what;
        EXPECT_TRUE(near(ball.position(), c.px, c.py, c.tolerance)) << c.what;
    }
}

TEST_F(BallTest, GlidesAndIsPlacedAndClampedKeepingItsVelocity) {
    // Without pushes the velocity halves every frame and the ball never turns back.
    Ball ball = stepped(160, 120, {{163, 124, 163, 124}});
    mask.assign(mask.size(), 0);
    for (int frame = 0; frame < 40; ++frame) {
        const Vec2 before = ball.position(), velocity = ball.velocity();
        ball.update();
        EXPECT_TRUE(near(ball.velocity(), velocity.x * 0.5f, velocity.y * 0.5f)) << frame;
        EXPECT_TRUE(ball.position().x <= before.x && ball.position().y <= before.y) << frame;
    }
    EXPECT_TRUE(near(ball.position(), 160.0 - 0.18, 120.0 - 0.24, 1e-3));
    EXPECT_TRUE(near({ball.minX(), ball.minY()}, 16.0, 16.0));
    EXPECT_TRUE(near({ball.maxX(), ball.maxY()}, 304.0, 224.0));
    for (auto [x, y, px, py] : {std::array{0, 0, 16, 16}, std::array{319, 239, 304, 224},
                                std::array{100, 50, 100, 50}, std::array{15, 225, 16, 224}}) {
        ball.placeAt(x, y);
        EXPECT_TRUE(near(ball.position(), px, py)) << x << "," << y;
    }
    // Placed, the ball glides on from under the still pointer.
    Ball placed = stepped(160, 120, {{163, 124, 163, 124}});
    placed.placeAt(100, 50);
    mask.assign(mask.size(), 0);
    placed.update();
    EXPECT_TRUE(near(placed.position(), 100.0 - 0.045, 50.0 - 0.06, 1e-4));
    // Stopped at a bound, it stays there while its velocity halves, until pushed back inside.
    Ball edge = stepped(17, 120, {{18, 0, kW - 1, kH - 1}});
    mask.assign(mask.size(), 0);
    for (int frame = 0; frame < 6; ++frame) {
        const float velocity = edge.velocity().x;
        edge.update();
        EXPECT_EQ(edge.position().x, 16.0f) << frame;
        EXPECT_EQ(edge.velocity().x, velocity * 0.5f) << frame;
    }
    for (int cell = 0; cell < 16 * kH; ++cell)
        mask[cell / 16 * kW + cell % 16] = 1;  // columns 0 to 15
    edge.update();
    EXPECT_GT(edge.position().x, 28.0f);
}

TEST(BallGrids, CrossedBoxAndRadiusBelowTheScale) {
    // 20 cells wide: minX 16 lies above maxX (a hair under 4); every clamp leaves x at maxX.
    MotionMask narrowMask(20 * kH, 1);
    Ball narrow(10.0f, 120.0f, 1, 10, narrowMask, 20, kH);
    EXPECT_EQ(narrow.minX(), 16.0f);
    EXPECT_NEAR(narrow.maxX(), 4.0, 1e-6);
    EXPECT_LT(narrow.maxX(), 4.0f);
    for (int x : {0, 19}) {
        narrow.placeAt(x, 120);
        EXPECT_EQ(narrow.position().x, narrow.maxX()) << x;
        narrow.update();
        EXPECT_EQ(narrow.position().x, narrow.maxX()) << x;
    }
    // Scale 2 with a radius below it: the ball senses nothing but is still clamped and placed,
    // in window pixels.
    const MotionMask mask(160 * 120, 1);
    Ball tiny(0.0f, 0.0f, 2, 1, mask, 160, 120);
    EXPECT_EQ(tiny.gridRadius(), 0);
    EXPECT_TRUE(near(tiny.position(), 0.0, 0.0));  // not clamped before the first step
    tiny.update();
    EXPECT_TRUE(near(tiny.velocity(), 0.0, 0.0));
    EXPECT_TRUE(near(tiny.position(), 1.6f, 1.6f, 1e-6));
    tiny.placeAt(50, 40);
    tiny.update();
    EXPECT_TRUE(near(tiny.position(), 100.0f, 80.0f));
}

struct RecordingScreen final : Screen {
    void fillRect(ScreenRect r, std::uint32_t color) override {
        fills.push_back({r.x, r.y, r.w, r.h, static_cast<int>(color == 0xFFFF00FFu)});
    }
    std::vector<std::vector<int>> fills;
};

TEST(BallDraw, TwoMagentaBarsAroundTheTruncatedCentreInSixteenBitFields) {
    // Each bar as x, y, w, h and 1 for magenta. At (160.7, 120.2) the cross covers columns
    // 150..169 of rows 119..121 and columns 159..161 of rows 110..129.
    const struct {
        float x, y;
        int radius;
        std::vector<std::vector<int>> bars;
    } cases[] = {
        {160.7f, 120.2f, 10, {{150, 119, 20, 3, 1}, {159, 110, 3, 20, 1}}},
        {-1.7f, 5.9f, 10, {{-11, 4, 20, 3, 1}, {-2, -5, 3, 20, 1}}},
        // 40000 - 33000 = 7000, 69999 - 65536 = 4463, 66000 - 65536 = 464, ...
        {40000.5f, 70000.0f, 33000, {{7000, 4463, 464, 3, 1}, {-25537, -28536, 3, 464, 1}}}};
    for (const auto& c : cases) {
        const MotionMask mask(kW * kH, 0);
        RecordingScreen screen;
        Ball(c.x, c.y, 1, c.radius, mask, kW, kH).draw(screen);
        EXPECT_EQ(screen.fills, c.bars) << c.x << "," << c.y;
    }
}

}  // namespace
}  // namespace tavlomi
