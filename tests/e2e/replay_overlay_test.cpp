// The replay tool end to end with the shell's keys and the overlay: without --overlay the
// screens hold only the effect and the ball whatever F1, F11 and F12 do; with it the status
// lines and the F1 help appear at their places and go again, time running 10 ms a frame.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
// Most runs use the toy's default size; long runs a strip just large enough for their lines.
constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kStripWidth = 280;
constexpr int kStripHeight = 48;
const std::string kStartup =
    "< ShowMotion responding to Ball >\n< Water Effect initialized >\n"
    "< Fire Effect innitialized >\n";

// One screen of a run and its size.
struct Screen {
    const std::vector<std::uint32_t>& pixels;
    int width;
    int height;
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
    }
};

ReplayResult replay(ReplayRunner& runner, long long frames, bool overlay, int width = kWidth,
                    int height = kHeight) {
    const std::string& dir = runner.directory();
    std::vector<std::string> args{"--size",
                                  std::to_string(width),
                                  std::to_string(height),
                                  "--frames",
                                  std::to_string(frames),
                                  "--input",
                                  dir + "/clip.raw",
                                  "--events",
                                  dir + "/events.txt",
                                  "--screens",
                                  dir + "/screens.raw"};
    if (overlay) args.push_back("--overlay");
    return runner.run(width, height, frames, args);
}

Screen screenOf(const ReplayResult& result, int frame, int width = kWidth, int height = kHeight) {
    return {result.screens.at(static_cast<std::size_t>(frame)), width, height};
}

// A bright picture with some texture, so that darkening shows in every channel.
Picture brightPicture(int width = kWidth, int height = kHeight) {
    Picture p{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t r = 120 + static_cast<std::uint32_t>(x % 100);
            const std::uint32_t g = 100 + static_cast<std::uint32_t>(y % 120);
            const std::uint32_t b = 200;
            p.pixels.push_back(r << 16 | g << 8 | b);
        }
    }
    return p;
}

struct Box {
    int x0, y0, x1, y1;  // inclusive
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// Every pixel outside the boxes is the same on both screens.
void expectSameOutside(const Screen& a, const Screen& b, const std::vector<Box>& boxes,
                       const std::string& what) {
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            bool inside = false;
            for (const Box& box : boxes)
                inside = inside || box.contains(x, y);
            if (!inside) {
                ASSERT_EQ(a.at(x, y), b.at(x, y)) << what << " at " << x << "," << y;
            }
        }
    }
}

// In box, each pixel of shown is white text or a darker copy of plain's (every channel at most
// half); returns how many are white.
int expectTextOverShade(const Screen& shown, const Screen& plain, const Box& box) {
    int white = 0;
    for (int y = box.y0; y <= box.y1; ++y) {
        for (int x = box.x0; x <= box.x1; ++x) {
            const std::uint32_t s = shown.at(x, y);
            if (s == kWhite) {
                ++white;
                continue;
            }
            const std::uint32_t p = plain.at(x, y);
            for (int shift : {0, 8, 16}) {
                const std::uint32_t sc = s >> shift & 0xFF;
                const std::uint32_t pc = p >> shift & 0xFF;
                EXPECT_LE(2 * sc, pc) << x << "," << y;
                EXPECT_GE(4 * sc + 4, pc) << x << "," << y;
            }
        }
    }
    return white;
}

// White pixels of screen inside box.
int whiteIn(const Screen& screen, const Box& box) {
    int count = 0;
    for (int y = box.y0; y <= box.y1; ++y) {
        for (int x = box.x0; x <= box.x1; ++x)
            count += screen.at(x, y) == kWhite ? 1 : 0;
    }
    return count;
}

// The strip of status line `index` of `count` lines: 10 rows from the bottom up, as wide as the
// text plus 2 pixels each side.
Box statusStrip(int index, int count, int characters, int height = kHeight) {
    const int top = height - (count - index) * 10;
    return {0, top, 8 * characters + 3, top + 9};
}

TEST(ReplayOverlay, WithoutTheFlagTheShellKeysChangeNeitherScreensNorOutput) {
    ReplayRunner runner;
    runner.addFrame(brightPicture());
    const ReplayResult plain = replay(runner, 4, false);
    runner.setEvents("0 key 282\n1 key 292\n1 key 293\n2 key 293\n2 key 282\n3 key 282\n");
    const ReplayResult keyed = replay(runner, 4, false);
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;
    ASSERT_EQ(keyed.exitStatus, 0) << keyed.err;
    EXPECT_EQ(keyed.out, kStartup);
    EXPECT_EQ(keyed.out, plain.out);
    ASSERT_EQ(keyed.screens.size(), 4u);
    EXPECT_EQ(keyed.screens, plain.screens);
}

TEST(ReplayOverlay, F12DoesNothingVisibleAndPrintsNothingEvenWithTheOverlay) {
    ReplayRunner runner;
    runner.addFrame(brightPicture());
    const ReplayResult plain = replay(runner, 3, true);
    runner.setEvents("0 key 293\n1 key 293\n1 key 293\n");
    const ReplayResult keyed = replay(runner, 3, true);
    ASSERT_EQ(keyed.exitStatus, 0) << keyed.err;
    EXPECT_EQ(keyed.out, kStartup);
    EXPECT_EQ(keyed.err, plain.err);
    ASSERT_EQ(keyed.screens.size(), 3u);
    EXPECT_EQ(keyed.screens, plain.screens);
}

TEST(ReplayOverlay, StartupLinesShowAtTheBottomLeftForExactly200Frames) {
    ReplayRunner runner;
    runner.addFrame(brightPicture(kStripWidth, kStripHeight));
    const ReplayResult plain = replay(runner, 201, false, kStripWidth, kStripHeight);
    const ReplayResult shown = replay(runner, 201, true, kStripWidth, kStripHeight);
    ASSERT_EQ(shown.exitStatus, 0) << shown.err;
    EXPECT_EQ(shown.out, kStartup);
    ASSERT_EQ(shown.screens.size(), 201u);
    ASSERT_EQ(plain.screens.size(), 201u);

    // The three lines are 33, 28 and 28 characters long.
    const std::vector<Box> strips{statusStrip(0, 3, 33, kStripHeight),
                                  statusStrip(1, 3, 28, kStripHeight),
                                  statusStrip(2, 3, 28, kStripHeight)};
    for (int frame : {0, 100, 199}) {
        const Screen s = screenOf(shown, frame, kStripWidth, kStripHeight);
        const Screen p = screenOf(plain, frame, kStripWidth, kStripHeight);
        expectSameOutside(s, p, strips, "frame " + std::to_string(frame));
        for (const Box& strip : strips) {
            EXPECT_GT(expectTextOverShade(s, p, strip), 100) << "frame " << frame;
            // Text keeps a pixel clear above and below, and 2 pixels at the left.
            EXPECT_EQ(whiteIn(s, {strip.x0, strip.y0, strip.x1, strip.y0}), 0);
            EXPECT_EQ(whiteIn(s, {strip.x0, strip.y1, strip.x1, strip.y1}), 0);
            EXPECT_EQ(whiteIn(s, {0, strip.y0, 1, strip.y1}), 0);
        }
    }
    // 200 frames of 10 ms later the lines are gone without a trace.
    EXPECT_EQ(shown.screens[200], plain.screens[200]);
}

TEST(ReplayOverlay, AStatusLineShowsItsOwnTextAtItsPlace) {
    // "< Threshold is now: 15 >" and "< Threshold is now: 13 >" differ only in their 22nd
    // character, whose glyph cell on the bottom strip is columns 170..177, rows 231..238.
    ReplayRunner runner;
    runner.addFrame(brightPicture());
    runner.setEvents("0 key 61\n");
    const ReplayResult up = replay(runner, 1, true);
    runner.setEvents("0 key 45\n");
    const ReplayResult down = replay(runner, 1, true);
    ASSERT_EQ(up.exitStatus, 0) << up.err;
    EXPECT_EQ(up.out, kStartup + "< Threshold is now: 15 >\n");
    EXPECT_EQ(down.out, kStartup + "< Threshold is now: 13 >\n");
    ASSERT_EQ(up.screens.size(), 1u);
    ASSERT_EQ(down.screens.size(), 1u);
    const Box digit{170, 231, 177, 238};
    expectSameOutside(screenOf(up, 0), screenOf(down, 0), {digit}, "15 against 13");
    EXPECT_NE(up.screens[0], down.screens[0]);
    EXPECT_GT(whiteIn(screenOf(up, 0), digit), 0);
    EXPECT_GT(whiteIn(screenOf(down, 0), digit), 0);
}

TEST(ReplayOverlay, F1ShowsTheHelpOverTheWholePictureAndF1HidesIt) {
    ReplayRunner runner;
    runner.addFrame(brightPicture());
    runner.setEvents("1 key 282\n3 key 282\n");
    const ReplayResult plain = replay(runner, 5, false);
    const ReplayResult shown = replay(runner, 5, true);
    ASSERT_EQ(shown.exitStatus, 0) << shown.err;
    EXPECT_EQ(shown.out, kStartup);
    ASSERT_EQ(shown.screens.size(), 5u);

    // Above the status strips the help darkens every pixel that is not its text.
    const Box help{0, 0, kWidth - 1, kHeight - 31};
    for (int frame : {1, 2}) {
        const Screen s = screenOf(shown, frame);
        const Screen p = screenOf(plain, frame);
        EXPECT_GT(expectTextOverShade(s, p, help), 2000) << "frame " << frame;
        // Row 0 "Keys (F1 hides them)", 20 characters from column 2 at rows 3..10: nothing
        // white left of it, right of it, or in the pixel rows around it.
        EXPECT_GT(whiteIn(s, {2, 3, 161, 10}), 50);
        EXPECT_EQ(whiteIn(s, {162, 3, kWidth - 1, 10}), 0);
        EXPECT_EQ(whiteIn(s, {0, 0, kWidth - 1, 2}), 0);
        EXPECT_EQ(whiteIn(s, {0, 11, kWidth - 1, 12}), 0);
    }
    // Hidden again: only the start-up lines remain over the picture.
    const std::vector<Box> strips{statusStrip(0, 3, 33), statusStrip(1, 3, 28),
                                  statusStrip(2, 3, 28)};
    expectSameOutside(screenOf(shown, 0), screenOf(plain, 0), strips, "before F1");
    expectSameOutside(screenOf(shown, 3), screenOf(plain, 3), strips, "after the second F1");
    expectSameOutside(screenOf(shown, 4), screenOf(plain, 4), strips, "after the second F1");
}

TEST(ReplayOverlay, TheHelpFollowsTheThresholdOnItsOwnLine) {
    // Help rows: the title, 12 rows of keys, a blank, "Effect ..." on row 14 and
    // "Threshold      14" on row 15, at pixel rows 153..160; its last digit is the 17th
    // character, columns 130..137.
    ReplayRunner runner;
    runner.addFrame(darkTexture(kWidth, kHeight, 4));
    runner.setEvents("0 key 282\n1 key 61\n");
    const ReplayResult shown = replay(runner, 2, true);
    ASSERT_EQ(shown.exitStatus, 0) << shown.err;
    EXPECT_EQ(shown.out, kStartup + "< Threshold is now: 15 >\n");
    ASSERT_EQ(shown.screens.size(), 2u);
    const Box digit{130, 153, 137, 160};
    // The status strips at the bottom change too (a fourth line joins them).
    const Box strips{0, kHeight - 40, kWidth - 1, kHeight - 1};
    const Screen before = screenOf(shown, 0);
    const Screen after = screenOf(shown, 1);
    expectSameOutside(before, after, {digit, strips}, "14 against 15");
    EXPECT_GT(whiteIn(before, digit), 0);
    EXPECT_GT(whiteIn(after, digit), 0);
    bool differs = false;
    for (int y = digit.y0; y <= digit.y1; ++y) {
        for (int x = digit.x0; x <= digit.x1; ++x)
            differs = differs || before.at(x, y) != after.at(x, y);
    }
    EXPECT_TRUE(differs);
}

TEST(ReplayOverlay, TheFlagIsRefusedWithAValue) {
    ReplayRunner runner;
    runner.addFrame(darkTexture(16, 16, 0));
    const std::string& dir = runner.directory();
    const ReplayResult result = runner.run(
        16, 16, 1,
        {"--size", "16", "16", "--frames", "1", "--input", dir + "/clip.raw", "--overlay", "yes"});
    EXPECT_EQ(result.exitStatus, 2);
}

}  // namespace
}  // namespace tavlomi::e2e
