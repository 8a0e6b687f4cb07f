// tavlomi-replay end to end: one composed screen of every effect and mode, and the tool's own
// interface: the events, the screens file, the overlay, usage, exit statuses and bad input.

#include <gtest/gtest.h>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

const std::string kStartup =
    "< ShowMotion responding to Ball >\n< Water Effect initialized >\n"
    "< Fire Effect innitialized >\n";

// Every channel at most 15: no cell's luminance reaches the initial threshold, so the first frame
// finds no motion and the ball stays at the centre.
Picture darkPicture(int width, int height) {
    Picture p;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            p.push_back(std::uint32_t((x * 7) % 16) << 16 | ((y * 5) % 16) << 8 | (x + y) % 16);
    }
    return p;
}

// A textured picture with a bright block that moves 3 pixels a frame along rows 44..55.
Picture movingBlock(int frame, int width, int height) {
    Picture p;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool block = y >= 44 && y < 56 && x >= 3 * frame && x < 3 * frame + 10;
            p.push_back(block ? 0xF0F0F0u
                              : std::uint32_t((x * 5 + y * 3) % 200 + 30) << 16 |
                                    ((x * 2 + y * 7) % 180 + 40) << 8 | ((x * y) % 160 + 60));
        }
    }
    return p;
}

// FNV-1a over the screen's words, low byte first.
std::uint64_t fingerprint(const std::vector<std::uint32_t>& screen) {
    std::uint64_t hash = 14695981039346656037u;
    for (const std::uint32_t word : screen) {
        for (int k = 0; k < 4; ++k)
            hash = (hash ^ ((word >> (8 * k)) & 0xFF)) * 1099511628211u;
    }
    return hash;
}

TEST(Replay, EveryEffectAndModeComposesItsGoldenScreen) {
    ReplayRunner runner(64, 64);
    const Picture dark = darkPicture(64, 64);
    runner.addFrame(dark);
    for (int frame = 1; frame < 21; ++frame)
        runner.addFrame(movingBlock(frame, 64, 64));
    // Frame by frame, and in file order within a frame; Escape ends the run in frame 21.
    const std::string events =
        "21 key 61\n21 key 270\n21 key 27\n21 key 61\n"
        "1 key 50\n1 down 20 20\n2 move 40 30\n3 up 40 30\n5 key 102\n5 down 20 40\n"
        "6 move 30 20\n6 up 30 20\n8 key 32\n8 key 102\n11 key 51\n11 down 34 22\n12 up 34 22\n"
        "16 key 102\n17 key 102\n17 key 32\n";
    const RunResult result = runner.run(30, events, "--threads 1");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    // The grid loops split over more threads give the same screens.
    for (int threads = 2; threads <= 8; ++threads) {
        const RunResult split = runner.run(30, events, "--threads " + std::to_string(threads));
        EXPECT_EQ(split.out, result.out) << threads;
        EXPECT_TRUE(split.screens == result.screens) << threads << " threads";
    }
    EXPECT_EQ(result.out, kStartup +
                              "< Frozen >\n< Water responding to Movement >\n< Unfrozen >\n"
                              "< Fire responding to Movement >\n"
                              "< Threshold is now: 15 >\n< Threshold is now: 16 >\n");
    ASSERT_EQ(result.screens.size(), 21u);
    // The plain view: the camera mirrored, and the ball's cross around the centre cell (32, 32),
    // its bars 3 cells thick from 10 cells left of and above it to 9 right of and below it.
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const bool cross = (x >= 22 && x <= 41 && y >= 31 && y <= 33) ||
                               (x >= 31 && x <= 33 && y >= 22 && y <= 41);
            ASSERT_EQ(result.screens[0][y * 64 + x], cross ? 0xFF00FFu : dark[y * 64 + 63 - x])
                << x << "," << y;
        }
    }
    // Fingerprints made once with the build of commit 4c015af, and the screens looked at: a drop,
    // the frozen drops, dips along the moving block; fire and blue heat above the ball, fire along
    // the block. The effects' pixel rules are tested with worked numbers in tests/effects; a
    // changed fingerprint here means a changed picture.
    const struct {
        const char* mode;
        int frame;
        std::uint64_t fingerprint;
    } goldens[] = {
        {"water following the ball", 4, 0x627198336262dcf1},
        {"water frozen", 7, 0x2dc19c87ed8a4b7d},
        {"water following motion", 10, 0x99c45bc3af0c4670},
        {"fire following the ball", 15, 0x0c8428e136c37835},
        {"fire, blue palette", 16, 0xb1adf046d3fc3706},
        {"fire following motion", 20, 0xad22e6f2ac64a218},
    };
    for (const auto& golden : goldens)
        EXPECT_EQ(fingerprint(result.screens[golden.frame]), golden.fingerprint) << golden.mode;
}

TEST(Replay, TheOverlayDrawsHelpAndStatusLinesOverThePictureForExactly200FramesOf10Ms) {
    ReplayRunner runner(320, 240);
    runner.addFrame(movingBlock(0, 320, 240));
    const std::string events = "0 key 282\n0 key 61\n1 key 292\n1 key 293\n2 key 282\n";
    const RunResult plain = runner.run(201, events);
    const RunResult shown = runner.run(201, events, "--overlay");
    ASSERT_EQ(shown.exitStatus, 0) << shown.err;
    EXPECT_EQ(shown.out, kStartup + "< Threshold is now: 15 >\n");
    ASSERT_EQ(shown.screens.size(), 201u);
    // Made once with the build of commit 4c015af and looked at: white text over the darkened
    // picture, the help and four status lines.
    EXPECT_EQ(fingerprint(shown.screens[1]), 0x9f6621e1eaefec5e);
    EXPECT_NE(shown.screens[199], plain.screens[199]);
    EXPECT_EQ(shown.screens[200], plain.screens[200]);
}

TEST(Replay, UsageExitStatusesAndBadInput) {
    ReplayRunner runner(16, 16);
    runner.addFrame(darkPicture(16, 16));
    const RunResult quit = runner.run(3, "1 quit\n");
    EXPECT_EQ(quit.exitStatus, 0);
    EXPECT_EQ(quit.screens.size(), 1u);
    ReplayRunner smallest(1, 1);
    smallest.addFrame({0x808080});
    EXPECT_EQ(smallest.run(2, "").screens.size(), 2u);
    std::ofstream(runner.folder() / "events.txt") << "0 key\n";
    const std::string events = " --events " + runner.quoted("events.txt");
    const std::string clip = " --input " + runner.quoted("clip.raw");
    const struct {
        std::string args;
        int status;
        const char* says;
    } cases[] = {
        {"--size 16 16 --frames 1", 2, "--input is required"},
        {"--size 16 16 --input x --frames", 2, "unexpected argument '--frames'"},
        {"--size 0 16 --frames 1" + clip, 2, "--size takes a width and a height from 1 to 16383"},
        {"--size 1 16384 --frames 1" + clip, 2,
         "--size takes a width and a height from 1 to 16383"},
        {"--size 16 15 --frames 1" + clip, 2, "holds 768 bytes, not a whole number of 16 x 15"},
        {"--size 16 16 --frames 1 --input /nonexistent", 2, "cannot read the clip"},
        {"--size 16 16 --frames 1 --events /nonexistent" + clip, 2, "cannot read the events"},
        {"--size 16 16 --frames 1" + events + clip, 2, "events.txt: line 1: "},
        {"--size 16 16 --frames 1 --overlay yes" + clip, 2, "unexpected argument 'yes'"},
        {"--size 16 16 --frames 1 --threads 0" + clip, 2,
         "--threads takes a whole number from 1 to 64"},
        {"--size 16 16 --frames 1 --threads 65" + clip, 2, "--threads takes a whole number"},
        {"--size 16 16 --frames 1 --screens /nonexistent/s" + clip, 1, "cannot write the screens"},
    };
    for (const auto& c : cases) {
        const RunResult result = runCommand("'" TAVLOMI_REPLAY_PATH "' " + c.args);
        EXPECT_EQ(result.exitStatus, c.status) << c.args;
        EXPECT_EQ(result.err.rfind("tavlomi-replay: ", 0), 0u) << c.args;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << c.args << ": " << result.err;
        EXPECT_TRUE(result.out.empty()) << c.args;
    }
    const RunResult help = runCommand("'" TAVLOMI_REPLAY_PATH "' --help");
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.find("Usage: tavlomi-replay --size W H --frames N --input FILE"), 0u);
}

}  // namespace
}  // namespace tavlomi::e2e
