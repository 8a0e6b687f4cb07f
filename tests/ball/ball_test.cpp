#include "ball/ball.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "common/screen.hpp"

namespace tavlomi {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kRadius = 10;
constexpr std::uint32_t kMagenta = 0xFFFF00FF;

// The shell's ball: scale 1, radius 10, at the centre of a 320 x 240 window, on cell (160, 120).
class BallOnDefaultGrid : public ::testing::Test {
  protected:
    Ball centredBall() const { return Ball(160.0f, 120.0f, 1, kRadius, mask, kWidth, kHeight); }
    void setMotion(int x, int y) { mask[y * kWidth + x] = 1; }
    void clearMotion() { std::fill(mask.begin(), mask.end(), std::uint8_t{0}); }

    MotionMask mask = MotionMask(kWidth * kHeight, 0);
};

// Half the sum of pushes of length 0.3 pointing against each offset: the velocity that one
// step from rest gives when exactly these offsets carry motion.
std::pair<double, double> velocityFromRest(const std::vector<std::pair<int, int>>& offsets) {
    double x = 0.0, y = 0.0;
    for (auto [dx, dy] : offsets) {
        const double length = std::hypot(dx, dy);
        x -= 0.3 * dx / length;
        y -= 0.3 * dy / length;
    }
    return {0.5 * x, 0.5 * y};
}

TEST_F(BallOnDefaultGrid, OneMotionCellAtOffsetThreeFourPushesAwayFromIt) {
    Ball ball = centredBall();
    setMotion(163, 124);
    ball.update();
    // Force (-0.18, -0.24) blended with a zero velocity and halved.
    EXPECT_NEAR(ball.velocity().x, -0.09f, 1e-6);
    EXPECT_NEAR(ball.velocity().y, -0.12f, 1e-6);
    EXPECT_NEAR(ball.position().x, 159.91f, 1e-4);
    EXPECT_NEAR(ball.position().y, 119.88f, 1e-4);
}

TEST_F(BallOnDefaultGrid, UnitVectorKeepsItsLengthInDoublePrecision) {
    // For these offsets the half push lands on the float nearest to the exact value; a length
    // rounded to float first would put it one float step away.
    for (auto [dx, dy] : {std::pair{3, 3}, std::pair{4, 1}, std::pair{1, 4}}) {
        clearMotion();
        setMotion(160 + dx, 120 + dy);
        Ball ball = centredBall();
        ball.update();
        const double length = std::hypot(dx, dy);
        EXPECT_EQ(ball.velocity().x, static_cast<float>(-0.15 * dx / length)) << dx << "," << dy;
        EXPECT_EQ(ball.velocity().y, static_cast<float>(-0.15 * dy / length)) << dx << "," << dy;
    }
}

TEST_F(BallOnDefaultGrid, CellUnderTheBallIsTruncatedNotRounded) {
    Ball ball(160.9f, 120.9f, 1, kRadius, mask, kWidth, kHeight);
    setMotion(163, 124);
    ball.update();
    EXPECT_NEAR(ball.velocity().x, -0.09f, 1e-6);
    EXPECT_NEAR(ball.velocity().y, -0.12f, 1e-6);
}

TEST_F(BallOnDefaultGrid, SensingDiscCountsTwoHundredSixtyEightOffsets) {
    std::set<std::pair<int, int>> counted;
    for (int dy = -12; dy <= 12; ++dy) {
        for (int dx = -12; dx <= 12; ++dx) {
            clearMotion();
            setMotion(160 + dx, 120 + dy);
            Ball ball = centredBall();
            ball.update();
            const Vec2 v = ball.velocity();
            if (v.x == 0.0f && v.y == 0.0f) {
                EXPECT_EQ(ball.position().x, 160.0f);
                EXPECT_EQ(ball.position().y, 120.0f);
                continue;
            }
            counted.insert({dx, dy});
            // Half of one push of 0.3, straight away from the offset.
            EXPECT_NEAR(std::hypot(v.x, v.y), 0.15, 1e-6) << dx << "," << dy;
            EXPECT_LT(v.x * dx, 0.0f) << dx << "," << dy;
            EXPECT_LT(v.y * dy, 0.0f) << dx << "," << dy;
            EXPECT_NEAR(v.x * dy, v.y * dx, 1e-6) << dx << "," << dy;
        }
    }
    EXPECT_EQ(counted.size(), 268u);
    EXPECT_FALSE(counted.contains({6, 8}));  // squared length exactly 100
    EXPECT_TRUE(counted.contains({5, 8}));
    EXPECT_TRUE(counted.contains({-9, -4}));
    EXPECT_FALSE(counted.contains({-10, 1}));  // the loops stop short of -R
    EXPECT_FALSE(counted.contains({1, -10}));
    for (auto [dx, dy] : counted) {
        EXPECT_NE(dx, 0);
        EXPECT_NE(dy, 0);
        EXPECT_TRUE(counted.contains({-dx, dy})) << dx << "," << dy;
        EXPECT_TRUE(counted.contains({dx, -dy})) << dx << "," << dy;
    }
}

TEST_F(BallOnDefaultGrid, MotionOnTheBallsOwnRowAndColumnNeverPushes) {
    for (int x = 0; x < kWidth; ++x)
        setMotion(x, 120);
    for (int y = 0; y < kHeight; ++y)
        setMotion(160, y);
    Ball ball = centredBall();
    for (int frame = 0; frame < 3; ++frame)
        ball.update();
    EXPECT_EQ(ball.position().x, 160.0f);
    EXPECT_EQ(ball.position().y, 120.0f);
    EXPECT_EQ(ball.velocity().x, 0.0f);
    EXPECT_EQ(ball.velocity().y, 0.0f);
}

TEST_F(BallOnDefaultGrid, MotionEverywhereCancelsInPairs) {
    std::fill(mask.begin(), mask.end(), std::uint8_t{1});
    Ball ball = centredBall();
    ball.update();
    EXPECT_NEAR(ball.velocity().x, 0.0f, 1e-5);
    EXPECT_NEAR(ball.velocity().y, 0.0f, 1e-5);
    EXPECT_NEAR(ball.position().x, 160.0f, 1e-5);
    EXPECT_NEAR(ball.position().y, 120.0f, 1e-5);
}

TEST_F(BallOnDefaultGrid, MotionRightOfTheBallPushesItAboutThirteenPixelsLeft) {
    // Everything right of the ball's column: only the 134 counted offsets with dx > 0 push.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 161; x < kWidth; ++x)
            setMotion(x, y);
    }
    Ball ball = centredBall();
    ball.update();
    // Force about (-26.26, 0).
    EXPECT_NEAR(ball.velocity().x, -13.13f, 0.005);
    EXPECT_NEAR(ball.velocity().y, 0.0f, 1e-5);
    EXPECT_NEAR(ball.position().x, 160.0f - 13.13f, 0.005);
    EXPECT_NEAR(ball.position().y, 120.0f, 1e-5);
}

TEST_F(BallOnDefaultGrid, BallAtRestWithoutMotionNearbyStaysExactlyWhereItIs) {
    // Motion outside the sensing disc does not count either.
    setMotion(0, 0);
    setMotion(166, 128);
    setMotion(150, 120 - 1);
    setMotion(160 - 1, 110);
    Ball ball(160.7f, 120.2f, 1, kRadius, mask, kWidth, kHeight);
    for (int frame = 0; frame < 5; ++frame) {
        ball.update();
        EXPECT_EQ(ball.position().x, 160.7f);
        EXPECT_EQ(ball.position().y, 120.2f);
    }
}

TEST_F(BallOnDefaultGrid, WithoutPushesVelocityHalvesEachFrameAndNeverReverses) {
    Ball ball = centredBall();
    setMotion(163, 124);
    ball.update();
    clearMotion();
    Vec2 before = ball.position();
    Vec2 velocity = ball.velocity();
    for (int frame = 0; frame < 40; ++frame) {
        ball.update();
        EXPECT_EQ(ball.velocity().x, velocity.x * 0.5f) << frame;
        EXPECT_EQ(ball.velocity().y, velocity.y * 0.5f) << frame;
        EXPECT_LE(ball.position().x, before.x) << frame;
        EXPECT_LE(ball.position().y, before.y) << frame;
        if (frame == 0) {
            EXPECT_NEAR(ball.position().x - before.x, -0.045, 1e-4);
            EXPECT_NEAR(ball.position().y - before.y, -0.06, 1e-4);
        }
        before = ball.position();
        velocity = ball.velocity();
    }
    // The glide comes to rest a little short of 0.09 x 2 further on.
    EXPECT_NEAR(ball.position().x, 160.0f - 0.18f, 1e-3);
    EXPECT_NEAR(ball.position().y, 120.0f - 0.24f, 1e-3);
}

TEST_F(BallOnDefaultGrid, SteadyForceDrawsTheVelocityTowardsIt) {
    Ball ball = centredBall();
    setMotion(163, 124);
    // The ball drifts off the cell within a frame or two, so the motion follows it.
    for (int frame = 0; frame < 30; ++frame) {
        const int cx = static_cast<int>(ball.position().x);
        const int cy = static_cast<int>(ball.position().y);
        clearMotion();
        setMotion(cx + 3, cy + 4);
        ball.update();
    }
    EXPECT_NEAR(ball.velocity().x, -0.18f, 1e-5);
    EXPECT_NEAR(ball.velocity().y, -0.24f, 1e-5);
}

TEST_F(BallOnDefaultGrid, BoundsHoldTheCrossInsideTheWindow) {
    Ball ball = centredBall();
    EXPECT_EQ(ball.gridRadius(), 10);
    EXPECT_EQ(ball.minX(), 16.0f);
    EXPECT_EQ(ball.minY(), 16.0f);
    EXPECT_EQ(ball.maxX(), 304.0f);
    EXPECT_EQ(ball.maxY(), 224.0f);
}

TEST_F(BallOnDefaultGrid, PlaceAtClampsToTheBounds) {
    Ball ball = centredBall();
    ball.placeAt(0, 0);
    EXPECT_EQ(ball.position().x, 16.0f);
    EXPECT_EQ(ball.position().y, 16.0f);
    ball.placeAt(319, 239);
    EXPECT_EQ(ball.position().x, 304.0f);
    EXPECT_EQ(ball.position().y, 224.0f);
    ball.placeAt(100, 50);
    EXPECT_EQ(ball.position().x, 100.0f);
    EXPECT_EQ(ball.position().y, 50.0f);
    ball.placeAt(15, 225);
    EXPECT_EQ(ball.position().x, 16.0f);
    EXPECT_EQ(ball.position().y, 224.0f);
}

TEST_F(BallOnDefaultGrid, StartPositionIsNotClampedUntilTheFirstStep) {
    Ball ball(2.0f, 230.0f, 1, kRadius, mask, kWidth, kHeight);
    EXPECT_EQ(ball.position().x, 2.0f);
    EXPECT_EQ(ball.position().y, 230.0f);
    ball.update();
    EXPECT_EQ(ball.position().x, 16.0f);
    EXPECT_EQ(ball.position().y, 224.0f);
}

TEST_F(BallOnDefaultGrid, PlacingKeepsTheVelocity) {
    Ball ball = centredBall();
    setMotion(163, 124);
    ball.update();
    clearMotion();
    const Vec2 velocity = ball.velocity();
    ball.placeAt(100, 50);
    EXPECT_EQ(ball.velocity().x, velocity.x);
    EXPECT_EQ(ball.velocity().y, velocity.y);
    // Held still under a still pointer, the ball goes on gliding.
    ball.update();
    EXPECT_NEAR(ball.position().x, 100.0f - 0.045f, 1e-4);
    EXPECT_NEAR(ball.position().y, 50.0f - 0.06f, 1e-4);
}

TEST_F(BallOnDefaultGrid, ClampingStopsTheBallButKeepsItsVelocity) {
    // Pushed hard left from x = 17, the ball stops at minX = 16.
    Ball ball(17.0f, 120.0f, 1, kRadius, mask, kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 18; x < kWidth; ++x)
            setMotion(x, y);
    }
    ball.update();
    EXPECT_EQ(ball.position().x, 16.0f);
    EXPECT_NEAR(ball.velocity().x, -13.13f, 0.005);
    clearMotion();
    for (int frame = 0; frame < 5; ++frame) {
        const float velocity = ball.velocity().x;
        ball.update();
        EXPECT_EQ(ball.position().x, 16.0f) << frame;
        EXPECT_EQ(ball.velocity().x, velocity * 0.5f) << frame;
    }
    // A push from the left carries it back inside.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < 16; ++x)
            setMotion(x, y);
    }
    ball.update();
    EXPECT_GT(ball.velocity().x, 12.0f);
    EXPECT_GT(ball.position().x, 28.0f);
}

TEST_F(BallOnDefaultGrid, ClampingAtTheUpperBounds) {
    Ball ball(303.5f, 223.5f, 1, kRadius, mask, kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (x < 303 && y < 223) setMotion(x, y);
        }
    }
    ball.update();
    EXPECT_EQ(ball.position().x, 304.0f);
    EXPECT_EQ(ball.position().y, 224.0f);
    EXPECT_GT(ball.velocity().x, 1.0f);
    EXPECT_GT(ball.velocity().y, 1.0f);
}

TEST_F(BallOnDefaultGrid, OnlyTheMaskLookupIsClampedNeverThePushDirection) {
    // Ball on cell (2, 120), left of its bounds before the first step; the one motion cell is
    // (0, 123). Every offset (dx, 3) with dx <= -2 reads that cell through the clamp, and each
    // pushes along its own offset, not along (-2, 3).
    Ball ball(2.0f, 120.0f, 1, kRadius, mask, kWidth, kHeight);
    setMotion(0, 123);
    ball.update();
    std::vector<std::pair<int, int>> offsets;
    for (int dx = -9; dx <= -2; ++dx)
        offsets.push_back({dx, 3});
    const auto [vx, vy] = velocityFromRest(offsets);
    EXPECT_NEAR(ball.velocity().x, vx, 1e-5);
    EXPECT_NEAR(ball.velocity().y, vy, 1e-5);
    EXPECT_EQ(ball.position().x, 16.0f);
}

TEST_F(BallOnDefaultGrid, RowLookupIsClampedToo) {
    Ball ball(160.0f, 1.0f, 1, kRadius, mask, kWidth, kHeight);
    setMotion(163, 0);
    ball.update();
    std::vector<std::pair<int, int>> offsets;
    for (int dy = -9; dy <= -1; ++dy)
        offsets.push_back({3, dy});
    const auto [vx, vy] = velocityFromRest(offsets);
    EXPECT_NEAR(ball.velocity().x, vx, 1e-5);
    EXPECT_NEAR(ball.velocity().y, vy, 1e-5);
}

TEST(BallBounds, NarrowGridLeavesXAtMaxX) {
    const int width = 20;
    MotionMask mask(width * kHeight, 1);
    Ball ball(10.0f, 120.0f, 1, kRadius, mask, width, kHeight);
    EXPECT_EQ(ball.minX(), 16.0f);
    EXPECT_NEAR(ball.maxX(), 4.0f, 1e-6);
    // The margin, formed in double, is a hair above 16 and 4 - 2^-22 is a float.
    EXPECT_LT(ball.maxX(), 4.0f);
    EXPECT_GT(ball.minX(), ball.maxX());
    ball.placeAt(0, 120);
    EXPECT_EQ(ball.position().x, ball.maxX());
    EXPECT_EQ(ball.position().y, 120.0f);
    ball.placeAt(19, 120);
    EXPECT_EQ(ball.position().x, ball.maxX());
    for (int frame = 0; frame < 3; ++frame) {
        ball.update();
        EXPECT_EQ(ball.position().x, ball.maxX()) << frame;
    }
}

TEST(BallScale, PositionsAreWindowPixelsAndTheDiscIsInCells) {
    const int scale = 2, width = 160, height = 120;
    MotionMask mask(width * height, 0);
    Ball ball(161.5f, 121.9f, scale, 20, mask, width, height);
    EXPECT_EQ(ball.gridRadius(), 10);
    EXPECT_EQ(ball.minX(), 32.0f);
    EXPECT_EQ(ball.maxX(), 288.0f);
    EXPECT_EQ(ball.maxY(), 208.0f);
    // Cell (80, 60) under the ball; one motion cell three right and four down.
    mask[64 * width + 83] = 1;
    ball.update();
    EXPECT_NEAR(ball.velocity().x, -0.09f, 1e-6);
    EXPECT_NEAR(ball.velocity().y, -0.12f, 1e-6);
    ball.placeAt(100, 50);
    EXPECT_EQ(ball.position().x, 200.0f);
    EXPECT_EQ(ball.position().y, 100.0f);
    ball.placeAt(0, 0);
    EXPECT_EQ(ball.position().x, 32.0f);
    EXPECT_EQ(ball.position().y, 32.0f);
}

TEST(BallScale, RadiusBelowScaleSensesNothingButIsStillClamped) {
    const int width = 160, height = 120;
    MotionMask mask(width * height, 1);
    Ball ball(0.0f, 0.0f, 2, 1, mask, width, height);
    EXPECT_EQ(ball.gridRadius(), 0);
    EXPECT_FLOAT_EQ(ball.minX(), 1.6f);
    ball.update();
    EXPECT_EQ(ball.velocity().x, 0.0f);
    EXPECT_EQ(ball.velocity().y, 0.0f);
    EXPECT_EQ(ball.position().x, ball.minX());
    EXPECT_EQ(ball.position().y, ball.minY());
    ball.placeAt(50, 40);
    ball.update();
    EXPECT_EQ(ball.position().x, 100.0f);
    EXPECT_EQ(ball.position().y, 80.0f);
    ball.placeAt(1000, 1000);
    EXPECT_EQ(ball.position().x, ball.maxX());
    EXPECT_EQ(ball.position().y, ball.maxY());
}

// Records every fill and paints it into a pixel array, clipped to the screen like SDL_FillRect.
class FakeScreen final : public Screen {
  public:
    FakeScreen(int width, int height)
        : width_(width), height_(height), pixels_(width * height, 0) {}

    void fillRect(ScreenRect rect, std::uint32_t color) override {
        fills.push_back({rect, color});
        const int x0 = std::max<int>(rect.x, 0);
        const int y0 = std::max<int>(rect.y, 0);
        const int x1 = std::min<int>(rect.x + rect.w, width_);
        const int y1 = std::min<int>(rect.y + rect.h, height_);
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x)
                pixels_[y * width_ + x] = color;
        }
    }

    std::uint32_t at(int x, int y) const { return pixels_[y * width_ + x]; }

    std::vector<std::pair<ScreenRect, std::uint32_t>> fills;

  private:
    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
};

void expectRect(const ScreenRect& rect, int x, int y, int w, int h) {
    EXPECT_EQ(rect.x, x);
    EXPECT_EQ(rect.y, y);
    EXPECT_EQ(rect.w, w);
    EXPECT_EQ(rect.h, h);
}

TEST(BallDraw, CrossCoversTwentyByThreeBarsAroundTheTruncatedCentre) {
    MotionMask mask(kWidth * kHeight, 0);
    const Ball ball(160.7f, 120.2f, 1, kRadius, mask, kWidth, kHeight);
    FakeScreen screen(kWidth, kHeight);
    ball.draw(screen);
    ASSERT_EQ(screen.fills.size(), 2u);
    expectRect(screen.fills[0].first, 150, 119, 20, 3);
    expectRect(screen.fills[1].first, 159, 110, 3, 20);
    EXPECT_EQ(screen.fills[0].second, kMagenta);
    EXPECT_EQ(screen.fills[1].second, kMagenta);
    int painted = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool horizontal = x >= 150 && x <= 169 && y >= 119 && y <= 121;
            const bool vertical = x >= 159 && x <= 161 && y >= 110 && y <= 129;
            const std::uint32_t expected = horizontal || vertical ? kMagenta : 0u;
            EXPECT_EQ(screen.at(x, y), expected) << x << "," << y;
            painted += screen.at(x, y) != 0u;
        }
    }
    EXPECT_EQ(painted, 60 + 60 - 9);
}

TEST(BallDraw, BarsAreClippedAtTheScreenEdge) {
    MotionMask mask(kWidth * kHeight, 0);
    const Ball ball(3.0f, 2.0f, 1, kRadius, mask, kWidth, kHeight);
    FakeScreen screen(kWidth, kHeight);
    ball.draw(screen);
    ASSERT_EQ(screen.fills.size(), 2u);
    expectRect(screen.fills[0].first, -7, 1, 20, 3);
    expectRect(screen.fills[1].first, 2, -8, 3, 20);
    EXPECT_EQ(screen.at(0, 1), kMagenta);
    EXPECT_EQ(screen.at(12, 3), kMagenta);
    EXPECT_EQ(screen.at(13, 2), 0u);
    EXPECT_EQ(screen.at(2, 0), kMagenta);
    EXPECT_EQ(screen.at(4, 11), kMagenta);
    EXPECT_EQ(screen.at(3, 12), 0u);
}

TEST(BallDraw, CentreIsTruncatedTowardZero) {
    MotionMask mask(kWidth * kHeight, 0);
    const Ball ball(-1.7f, 5.9f, 1, kRadius, mask, kWidth, kHeight);
    FakeScreen screen(kWidth, kHeight);
    ball.draw(screen);
    ASSERT_EQ(screen.fills.size(), 2u);
    expectRect(screen.fills[0].first, -11, 4, 20, 3);
    expectRect(screen.fills[1].first, -2, -5, 3, 20);
}

TEST(BallDraw, RectangleFieldsKeepTheLowSixteenBits) {
    MotionMask mask(kWidth * kHeight, 0);
    const Ball ball(40000.5f, 70000.0f, 1, 33000, mask, kWidth, kHeight);
    FakeScreen screen(kWidth, kHeight);
    ball.draw(screen);
    ASSERT_EQ(screen.fills.size(), 2u);
    // 40000 - 33000 = 7000; 69999 - 65536 = 4463; 66000 - 65536 = 464.
    expectRect(screen.fills[0].first, 7000, 4463, 464, 3);
    // 39999 - 65536 = -25537; 70000 - 33000 = 37000, - 65536 = -28536.
    expectRect(screen.fills[1].first, -25537, -28536, 3, 464);
}

}  // namespace
}  // namespace tavlomi
