// The real tavlomi's command line: what it answers without a display, bad command lines refused
// before any window opens, and a missing display reported as such.

#include <gtest/gtest.h>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

// No display: anything that gets as far as opening a window ends with status 1.
RunResult runToy(const std::string& args) {
    return runCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER '" TAVLOMI_PATH "' " +
                      args);
}

TEST(Cli, HelpAndVersionNeedNoDisplayAndBadLinesAreRefusedWithStatus2BeforeAnyWindow) {
    const RunResult help = runToy("--help");
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: tavlomi [fullscreen|window]")) << help.out;
    const RunResult version = runToy("window --version");
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, "tavlomi " TAVLOMI_VERSION "\n");
    for (const char* args : {"window 16384 240", "--video clip.webm"}) {
        const RunResult result = runToy(args);
        EXPECT_EQ(result.exitStatus, 2) << args;
        EXPECT_TRUE(result.err.starts_with("tavlomi: ")) << result.err;
        EXPECT_TRUE(result.err.ends_with("\nTry 'tavlomi --help'.\n")) << result.err;
        EXPECT_TRUE(result.out.empty()) << args;
    }
}

TEST(Cli, NoticesAboutIgnoredArgumentsComeBeforeTheMissingDisplay) {
    const RunResult result = runToy("Window 640 --test-scene");
    EXPECT_EQ(result.exitStatus, 1);
    const std::size_t size = result.err.find(
        "tavlomi: a size needs both width and height; '640' ignored, using 320 x 240\n");
    const std::size_t mode = result.err.find(
        "Error: First parameter was not either lowercase 'fullscreen' or 'window' (no quotes), "
        "ignored.\n");
    const std::size_t display = result.err.find(
        "tavlomi: no display found: run it on a desktop (DISPLAY or WAYLAND_DISPLAY is not set)\n");
    EXPECT_LT(size, mode) << result.err;
    EXPECT_LT(mode, display) << result.err;
    EXPECT_NE(display, std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
}

TEST(Cli, AVirtualCameraWithoutARouteIsOneLineAndOnlyAnExplicitOneEndsTheToy) {
    // No PipeWire answers on an empty runtime folder; this machine has no loopback device.
    const std::string toy =
        "env -u PIPEWIRE_REMOTE XDG_RUNTIME_DIR=/nonexistent "
        "SDL_VIDEODRIVER=dummy timeout --preserve-status -s TERM 3 '" TAVLOMI_PATH
        "' window 64 48 --test-scene --virtual-camera";
    const struct {
        std::string where;
        int status;
        const char* err;
    } cases[] = {
        {"=pipewire", 1, "tavlomi: no PipeWire virtual camera: no PipeWire daemon answers\n"},
        {"", 0,
         "tavlomi: no virtual camera: no PipeWire daemon answers and there is no v4l2loopback "
         "device; load one with 'sudo modprobe v4l2loopback exclusive_caps=1 "
         "card_label=Tavlomi', or run PipeWire (pipewire, wireplumber and gstreamer1.0-pipewire) "
         "for a PipeWire camera\n"}};
    for (const auto& c : cases) {
        const RunResult result = runCommand(toy + c.where);
        EXPECT_EQ(result.exitStatus, c.status) << c.where;
        // Its first line; a sanitizer may report after it.
        EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1), c.err);
    }
}

TEST(Cli, AGridTheMemoryCannotHoldIsRefusedWithStatus1BeforeAnyWindow) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    // 2 GB of address space cannot hold 8000 x 8000 cells of 50 bytes.
    for (const char* command :
         {"'" TAVLOMI_PATH "' window 8000 8000 --test-scene",
          "'" TAVLOMI_REPLAY_PATH "' --size 8000 8000 --frames 1 --input x"}) {
        const RunResult result = runCommand(std::string("ulimit -v 2000000 && ") + command);
        EXPECT_EQ(result.exitStatus, 1) << command;
        EXPECT_NE(
            result.err.find(": not enough memory for a 8000 x 8000 grid: it needs about 3.2 GB, "),
            std::string::npos)
            << result.err;
    }
}

}  // namespace
}  // namespace tavlomi::e2e
