// The ball end to end: a moving object in the clip pushes it, a scripted drag places it, and the
// screens show the cross where the ball is.

#include <gtest/gtest.h>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

// A dark picture with one white cell at grid cell (x, y), given as the camera sees it.
Picture darkWithWhiteCell(int size, int x, int y) {
    Picture grid{size, size, std::vector<std::uint32_t>(static_cast<std::size_t>(size * size), 0)};
    grid.pixels[static_cast<std::size_t>(y) * size + x] = 0xFFFFFF;
    return mirrored(grid);
}

TEST(ReplayBall, OneMotionCellPushesTheBallAwayAndItGlides) {
    // Ball at (32, 32); a white cell appears at offset (3, 4): force (-0.18, -0.24), so the ball
    // moves by (-0.09, -0.12) to (31.91, 31.88) and the cross is drawn at (31, 31). It then
    // glides by half of that each frame and stays in cell (31, 31).
    ReplayRunner runner;
    const Picture black{64, 64, std::vector<std::uint32_t>(64 * 64, 0)};
    runner.addFrame(black);
    runner.addFrame(darkWithWhiteCell(64, 35, 36));
    const ReplayResult result = runner.run(64, 64, 4);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    ASSERT_EQ(result.screens.size(), 4u);
    const int expected[4][2] = {{32, 32}, {31, 31}, {31, 31}, {31, 31}};
    for (int i = 0; i < 4; ++i) {
        int x = -1, y = -1;
        ASSERT_TRUE(findCross(result.screens[i], 64, 64, x, y)) << "frame " << i;
        EXPECT_EQ(x, expected[i][0]) << "frame " << i;
        EXPECT_EQ(y, expected[i][1]) << "frame " << i;
    }
}

TEST(ReplayBall, MotionOnTheBallsRowOnlyNeverMovesIt) {
    ReplayRunner runner;
    const Picture black{64, 64, std::vector<std::uint32_t>(64 * 64, 0)};
    runner.addFrame(black);
    Picture row{64, 64, std::vector<std::uint32_t>(64 * 64, 0)};
    for (int x = 0; x < 64; ++x)
        row.pixels[32 * 64 + x] = 0xFFFFFF;
    runner.addFrame(mirrored(row));
    const ReplayResult result = runner.run(64, 64, 3);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    for (const auto& screen : result.screens) {
        int x = -1, y = -1;
        ASSERT_TRUE(findCross(screen, 64, 64, x, y));
        EXPECT_EQ(x, 32);
        EXPECT_EQ(y, 32);
    }
}

TEST(ReplayBall, DragPlacesTheBallAndItKeepsItsVelocity) {
    // The push of frame 1 leaves velocity (-0.09, -0.12), halved every frame. Frame 3 presses at
    // (10, 10): the ball is clamped to (16, 16). Frame 4 drags it to (45, 40); that frame's step
    // still moves it by (-0.01125, -0.015), so the cross is drawn at (44, 39). After the release
    // in frame 5, motion events no longer move it. Frame 7 presses at (60, 60), past the bounds
    // of a 64-cell grid: (48, 48), less that frame's glide.
    ReplayRunner runner;
    const Picture black{64, 64, std::vector<std::uint32_t>(64 * 64, 0)};
    runner.addFrame(black);
    runner.addFrame(darkWithWhiteCell(64, 35, 36));
    runner.setEvents(
        "3 down 10 10\n"
        "4 move 45 40\n"
        "5 up 45 40\n"
        "6 move 20 20\n"
        "7 down 60 60\n");
    const ReplayResult result = runner.run(64, 64, 8);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    ASSERT_EQ(result.screens.size(), 8u);
    const int expected[8][2] = {{32, 32}, {31, 31}, {31, 31}, {16, 16},
                                {44, 39}, {44, 39}, {44, 39}, {47, 47}};
    for (int i = 0; i < 8; ++i) {
        int x = -1, y = -1;
        ASSERT_TRUE(findCross(result.screens[i], 64, 64, x, y)) << "frame " << i;
        EXPECT_EQ(x, expected[i][0]) << "frame " << i;
        EXPECT_EQ(y, expected[i][1]) << "frame " << i;
    }
}

}  // namespace
}  // namespace tavlomi::e2e
