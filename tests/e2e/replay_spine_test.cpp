// The replay tool end to end on the plain view: start-up lines, the mirrored picture, the
// ball's cross, threshold keys, quitting and bad input.

#include <gtest/gtest.h>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

constexpr std::uint32_t kMagenta = 0xFF00FF;
const std::string& kStartup = kStartupLines;

bool onCross(int x, int y, int cx, int cy) {
    const bool horizontal = x >= cx - 10 && x <= cx + 9 && y >= cy - 1 && y <= cy + 1;
    const bool vertical = x >= cx - 1 && x <= cx + 1 && y >= cy - 10 && y <= cy + 9;
    return horizontal || vertical;
}

TEST(ReplaySpine, ShowsTheMirroredPictureWithTheBallAtTheCentre) {
    ReplayRunner runner;
    const Picture frame = darkTexture(64, 48, 3);
    runner.addFrame(frame);
    const ReplayResult result = runner.run(64, 48, 2);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kStartup);
    ASSERT_EQ(result.screens.size(), 2u);
    for (const auto& screen : result.screens) {
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                const std::uint32_t shown = screen[static_cast<std::size_t>(y) * 64 + x] & 0xFFFFFF;
                const std::uint32_t expected =
                    onCross(x, y, 32, 24) ? kMagenta : frame.at(63 - x, y);
                ASSERT_EQ(shown, expected) << "at " << x << "," << y;
            }
        }
    }
}

TEST(ReplaySpine, ThresholdKeysPrintInQueueOrder) {
    ReplayRunner runner;
    runner.addFrame(darkTexture(40, 40, 0));
    runner.setEvents(
        "0 key 61\n0 key 61\n"  // '=' twice in one frame
        "1 key 270\n"           // keypad '+'
        "2 key 45\n2 key 269\n2 key 269\n"
        "3 key 52\n3 key 57\n3 key 48\n3 key 102\n3 key 32\n");  // '4', '9', '0', 'f', space
    const ReplayResult result = runner.run(40, 40, 5);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kStartup +
                              "< Threshold is now: 15 >\n< Threshold is now: 16 >\n"
                              "< Threshold is now: 17 >\n< Threshold is now: 16 >\n"
                              "< Threshold is now: 15 >\n< Threshold is now: 14 >\n");
    EXPECT_EQ(result.screens.size(), 5u);
}

TEST(ReplaySpine, EscapeEndsTheRunAfterTheScreensSoFar) {
    ReplayRunner runner;
    runner.addFrame(darkTexture(40, 40, 1));
    runner.setEvents("3 key 61\n3 key 27\n3 key 61\n");
    const ReplayResult result = runner.run(40, 40, 10);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kStartup + "< Threshold is now: 15 >\n");
    EXPECT_EQ(result.screens.size(), 3u);
}

TEST(ReplaySpine, QuitEventEndsTheRun) {
    ReplayRunner runner;
    runner.addFrame(darkTexture(40, 40, 1));
    runner.setEvents("0 quit\n");
    const ReplayResult result = runner.run(40, 40, 10);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kStartup);
    EXPECT_TRUE(result.screens.empty());
}

TEST(ReplaySpine, FrameIUsesClipFrameMinIK) {
    // Three clip frames, five replay frames: frames 3 and 4 repeat the last clip frame.
    ReplayRunner runner;
    const Picture frames[3] = {darkTexture(32, 32, 0), darkTexture(32, 32, 5),
                               darkTexture(32, 32, 9)};
    for (const Picture& f : frames)
        runner.addFrame(f);
    const ReplayResult result = runner.run(32, 32, 5);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    ASSERT_EQ(result.screens.size(), 5u);
    const int probeX = 2, probeY = 30;  // far from the cross
    for (int i = 0; i < 5; ++i) {
        const Picture& expected = frames[std::min(i, 2)];
        EXPECT_EQ(result.screens[i][probeY * 32 + probeX] & 0xFFFFFF,
                  expected.at(31 - probeX, probeY))
            << "frame " << i;
    }
}

TEST(ReplaySpine, BadInputIsRefusedWithStatus2) {
    ReplayRunner runner;
    runner.addFrame(darkTexture(16, 16, 0));
    runner.setEvents("0 key 61\n");
    // A clip of 16 x 16 frames read as 16 x 15: not a whole number of frames.
    EXPECT_EQ(runner.run(16, 15, 1).exitStatus, 2);
    runner.setEvents("0 key\n");
    const ReplayResult badEvents = runner.run(16, 16, 1);
    EXPECT_EQ(badEvents.exitStatus, 2);
    EXPECT_NE(badEvents.err.find("line 1"), std::string::npos) << badEvents.err;
    EXPECT_TRUE(badEvents.out.empty());
    EXPECT_EQ(runner.run(16, 16, 1, {"--size", "16", "16", "--frames", "1"}).exitStatus, 2);
    EXPECT_EQ(
        runner.run(16, 16, 1, {"--size", "0", "16", "--frames", "1", "--input", "x"}).exitStatus,
        2);
    EXPECT_EQ(
        runner.run(16, 16, 1, {"--size", "16", "16", "--frames", "1", "--input", "/nonexistent"})
            .exitStatus,
        2);
}

}  // namespace
}  // namespace tavlomi::e2e
