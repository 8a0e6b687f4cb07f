// The real tavlomi binary's command line: help, version, bad input refused before any window
// opens, and no display reported as such.

#include <gtest/gtest.h>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

ReplayResult runToy(const std::string& args) {
    ReplayRunner scratch;
    // No display: anything that got as far as opening a window would fail with status 1.
    return runCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER '" +
                          std::string(TAVLOMI_PATH) + "' " + args,
                      scratch.directory());
}

TEST(Cli, HelpAndVersion) {
    const ReplayResult help = runToy("--help");
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("Usage: tavlomi"), std::string::npos);
    const ReplayResult version = runToy("window --version");
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("tavlomi ", 0), 0u) << version.out;
}

TEST(Cli, BadInputIsRefusedWithStatus2BeforeAnyWindow) {
    for (const char* args :
         {"window 0 480", "window 640 -1", "window abc 480", "window 640 4x8", "window 99999 480",
          "window 640 99999999999999999999", "--frobnicate", "--camera=x", "--device=",
          "--test-scene --video=a", "window 640 480 --zoomy", "window -0 480", "window + 480",
          "--camera", "--video clip.webm", "--test-scene=1", "--camera=99999999999", "-- window"}) {
        const ReplayResult result = runToy(args);
        EXPECT_EQ(result.exitStatus, 2) << args;
        EXPECT_NE(result.err.find("tavlomi: "), std::string::npos) << args;
        EXPECT_TRUE(result.out.empty()) << args;
    }
}

TEST(Cli, ZoomOutsideOneToSixteenIsRefusedWithStatus2AndTheRange) {
    for (const char* args : {"window --zoom=0", "window --zoom=17",
                             "window --zoom=", "window --zoom=2.5", "--zoom=-1 window"}) {
        const ReplayResult result = runToy(args);
        EXPECT_EQ(result.exitStatus, 2) << args;
        EXPECT_NE(result.err.find("--zoom takes a whole number from 1 to 16"), std::string::npos)
            << args << ": " << result.err;
        EXPECT_TRUE(result.out.empty()) << args;
    }
    // A good zoom gets as far as the display, which is missing here.
    EXPECT_EQ(runToy("window --zoom=16 --test-scene").exitStatus, 1);
}

TEST(Cli, HelpListsTheShellKeysAndZoom) {
    const ReplayResult help = runToy("--help");
    for (const char* text : {"\n  F1 ", "\n  F11 ", "\n  F12 ", "\n  --zoom=N "})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

TEST(Cli, ASizeWithoutBothSidesIsReportedBeforeTheWindow) {
    // Only width and height together give a size; the toy says so and goes on at 320 x 240,
    // here as far as the missing display.
    const ReplayResult tooFew = runToy("window 640 --test-scene");
    EXPECT_EQ(tooFew.exitStatus, 1);
    EXPECT_NE(tooFew.err.find("tavlomi: a size needs both width and height; '640' ignored"),
              std::string::npos)
        << tooFew.err;
    EXPECT_LT(tooFew.err.find("'640' ignored"), tooFew.err.find("no display"));

    const ReplayResult tooMany = runToy("window 640 480 7 --test-scene");
    EXPECT_EQ(tooMany.exitStatus, 1);
    EXPECT_NE(tooMany.err.find("tavlomi: too many arguments"), std::string::npos) << tooMany.err;
    EXPECT_TRUE(tooMany.out.empty());
}

TEST(Cli, NoDisplayIsAClearErrorWithStatus1) {
    const ReplayResult result = runToy("window --test-scene");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("no display"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
}

TEST(Cli, ABadFirstArgumentIsReportedOnStderr) {
    const ReplayResult result = runToy("Window --test-scene");
    EXPECT_NE(result.err.find("Error: First parameter was not either lowercase 'fullscreen' or "
                              "'window' (no quotes), ignored."),
              std::string::npos)
        << result.err;
}

TEST(Cli, ListCamerasAnswersWithoutADisplay) {
    const ReplayResult result = runToy("--list-cameras");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_FALSE(result.out.empty());
}

}  // namespace
}  // namespace tavlomi::e2e
