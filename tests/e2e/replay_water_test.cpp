// The water effect end to end: selected with '2', a drop pressed in by dragging the ball, frozen
// and unfrozen with 'f', switched to motion with space. Expected pixels come from the drop's
// published cone values, not from the effect's code.

#include <gtest/gtest.h>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

constexpr int kSize = 64;

std::uint32_t shown(const std::vector<std::uint32_t>& screen, int x, int y) {
    return shownAt(screen, kSize, x, y);
}

std::uint32_t shifted(std::uint32_t pixel, int shade) {
    const auto channel = [&](int bits) {
        const int v = static_cast<int>(pixel >> bits & 0xFF) + shade;
        return static_cast<std::uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)) << bits;
    };
    return channel(16) | channel(8) | channel(0);
}

TEST(ReplayWater, DropsRefractAndShadeAndMotionPressesDips) {
    // Grid-space pictures: g0 for frame 0, g1 after it, g2 = g1 with one white cell at (10, 50).
    const Picture g0 = darkTexture(kSize, kSize, 1);
    const Picture g1 = darkTexture(kSize, kSize, 6);
    Picture g2 = g1;
    g2.pixels[50 * kSize + 10] = 0xFFFFFF;
    ReplayRunner runner;
    runner.addFrame(mirrored(g0));
    for (int i = 1; i <= 5; ++i)
        runner.addFrame(mirrored(g1));
    runner.addFrame(mirrored(g2));
    runner.setEvents(
        "1 key 50\n1 key 102\n"              // water, frozen
        "2 down 39 30\n"                     // the first cell the water hears of is only recorded
        "3 move 40 30\n"                     // a drop at (40, 30)
        "4 up 40 30\n4 key 32\n4 key 102\n"  // motion mode, unfrozen: one ripple step
        "5 key 102\n");                      // frozen again before the white cell appears
    const ReplayResult result = runner.run(kSize, kSize, 8);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kStartupLines +
                              "< Frozen >\n< Water responding to Movement >\n"
                              "< Unfrozen >\n< Frozen >\n");
    ASSERT_EQ(result.screens.size(), 8u);

    // Frames 1 and 2: a still surface shows the camera unchanged (away from the cross).
    EXPECT_EQ(shown(result.screens[2], 5, 5), g1.at(5, 5));
    EXPECT_EQ(shown(result.screens[2], 36, 26), g1.at(36, 26));

    // Frame 3, frozen drop at (40, 30). Cone entries [4][4] = -117, [4][5] = [5][4] = -150
    // give at (36, 26) dx = dy = 33: source (40, 30), brightened by 33. Entries [12][12] = -117,
    // [12][13] = [13][12] = -79 give at (44, 34) dx = dy = -38: source (39, 29), darkened by 38.
    const auto& frozenDrop = result.screens[3];
    EXPECT_EQ(shown(frozenDrop, 36, 26), shifted(g1.at(40, 30), 33));
    EXPECT_EQ(shown(frozenDrop, 44, 34), shifted(g1.at(39, 29), -38));
    EXPECT_EQ(shown(frozenDrop, 5, 5), g1.at(5, 5));
    int x = 0, y = 0;
    ASSERT_TRUE(findCross(frozenDrop, kSize, kSize, x, y));
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 30);
    // The last row and column keep what the plain view drew in frame 0.
    for (int i = 0; i < kSize; ++i) {
        EXPECT_EQ(shown(frozenDrop, kSize - 1, i), g0.at(kSize - 1, i)) << i;
        EXPECT_EQ(shown(frozenDrop, i, kSize - 1), g0.at(i, kSize - 1)) << i;
    }

    // Frame 4 took one ripple step: the surface around the drop changed.
    int changed = 0;
    for (int py = 20; py < 41; ++py) {
        for (int px = 30; px < 51; ++px) {
            changed += shown(result.screens[4], px, py) != shown(frozenDrop, px, py);
        }
    }
    EXPECT_GT(changed, 50);

    // Frames 6 and 7, frozen in motion mode: the white cell's dip of -400 stays and shows.
    for (int frame : {6, 7}) {
        const auto& screen = result.screens[frame];
        EXPECT_EQ(shown(screen, 10, 50), 0u) << frame;  // (0, 0) darkened by 400
        EXPECT_EQ(shown(screen, 9, 50), shifted(g1.at(59, 50), 200)) << frame;
        EXPECT_EQ(shown(screen, 10, 49), shifted(g1.at(10, 63), 200)) << frame;
    }
}

TEST(ReplayWater, TinyGridsRunEveryEffectSafely) {
    // Grids below the ball's bounds: drops and brushes are clipped to the grid.
    for (int size : {1, 2, 3, 7, 20}) {
        ReplayRunner runner;
        runner.addFrame(darkTexture(size, size, 0));
        Picture bright{size, size,
                       std::vector<std::uint32_t>(static_cast<std::size_t>(size * size), 0xFFFFFF)};
        runner.addFrame(bright);
        runner.setEvents(
            "0 key 50\n0 down 0 0\n1 move 5 5\n2 key 32\n3 key 102\n4 key 102\n"
            "5 key 51\n5 move 9 9\n6 key 32\n7 key 102\n8 key 32\n9 up 0 0\n");
        const ReplayResult result = runner.run(size, size, 12);
        EXPECT_EQ(result.exitStatus, 0) << size << ": " << result.err;
        EXPECT_EQ(result.screens.size(), 12u) << size;
    }
}

}  // namespace
}  // namespace tavlomi::e2e
