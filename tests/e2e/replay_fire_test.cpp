// The fire effect end to end: selected with '3', burning at the ball, switched to the blue
// palette with 'f', to movement with space, away and back.

#include <gtest/gtest.h>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

constexpr int kSize = 64;

std::uint32_t shown(const std::vector<std::uint32_t>& screen, int x, int y) {
    return shownAt(screen, kSize, x, y);
}

int channel(std::uint32_t pixel, int bits) {
    return static_cast<int>(pixel >> bits & 0xFF);
}

// A cold cell shows each camera channel v as floor(v * 255 / 256): v - 1, or 0 for 0.
std::uint32_t cold(std::uint32_t pixel) {
    std::uint32_t out = 0;
    for (int bits : {16, 8, 0}) {
        const int v = channel(pixel, bits);
        out |= static_cast<std::uint32_t>(v * 255 / 256) << bits;
    }
    return out;
}

TEST(ReplayFire, BurnsAtTheBallSwitchesPaletteAndSource) {
    const Picture grid = darkTexture(kSize, kSize, 4);
    ReplayRunner runner;
    runner.addFrame(mirrored(grid));
    runner.setEvents(
        "0 key 51\n"    // fire
        "1 key 102\n"   // blue palette
        "2 key 32\n"    // movement
        "3 key 49\n"    // plain view
        "4 key 51\n"    // fire again
        "5 key 32\n");  // back to the ball
    const ReplayResult result = runner.run(kSize, kSize, 7);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kStartupLines +
                              "< Fire responding to Movement >\n"
                              "< Fire responding to Ball >\n");
    ASSERT_EQ(result.screens.size(), 7u);

    // Heat only rises from the brush around (32, 32), so the bottom rows stay cold.
    for (int frame : {0, 1, 2, 4, 5, 6}) {
        for (int y = 50; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                ASSERT_EQ(shown(result.screens[frame], x, y), cold(grid.at(x, y)))
                    << "frame " << frame << " at " << x << "," << y;
            }
        }
    }

    // Frame 0, fire palette: hot cells above the ball are red-yellow; frame 1, blue palette:
    // blue-cyan. Heat of 170 or more has red and green (fire) or green and blue (blue) at 255, of
    // which at least 195 shows over a dark picture.
    const auto countHot = [&](const std::vector<std::uint32_t>& screen, int high1, int high2,
                              int low) {
        int hot = 0;
        for (int y = 20; y < 40; ++y) {
            for (int x = 20; x < 45; ++x) {
                const std::uint32_t p = shown(screen, x, y);
                if (p == 0xFF00FF) continue;  // the ball's cross
                if (channel(p, high1) >= 195 && channel(p, high2) >= 195) ++hot;
                if (channel(p, low) > channel(p, high1) + 100) return -1;
            }
        }
        return hot;
    };
    EXPECT_GT(countHot(result.screens[0], 16, 8, 0), 20);
    EXPECT_GT(countHot(result.screens[1], 8, 0, 16), 20);

    // Frame 3 is the plain view: the camera picture unchanged.
    for (int y = 0; y < kSize; y += 7) {
        EXPECT_EQ(shown(result.screens[3], y, 5), grid.at(y, 5));
    }
}

}  // namespace
}  // namespace tavlomi::e2e
