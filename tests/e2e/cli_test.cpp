// The real tavlomi's command line: what it answers without a display, bad command lines refused
// before any window opens, and a missing display reported as such.

#include <gtest/gtest.h>

#include <sstream>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

// No display: anything that gets as far as opening a window ends with status 1.
RunResult runToy(const std::string& args) {
    return runCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER '" TAVLOMI_PATH "' " +
                      args);
}

// The toy's own lines of its standard error: a library or a sanitizer may add its own.
std::string ownLines(const std::string& err) {
    std::istringstream lines(err);
    std::string own;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("tavlomi: ") || line.starts_with("Error: ") ||
            line.starts_with("Try "))
            own += line + "\n";
    }
    return own;
}

TEST(Cli, AnswersWithoutADisplayAndRefusesBadLinesBeforeAnyWindow) {
    const std::string tryHelp = "\nTry 'tavlomi --help'.\n";
    const struct {
        const char* args;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {"--help", 0, "Usage: tavlomi [fullscreen|window]", ""},
        {"window --version", 0, "tavlomi " TAVLOMI_VERSION "\n", ""},
        {"window 16384 240", 2, "",
         "tavlomi: the width 16384 is too large (at most 16383)" + tryHelp},
        {"--video clip.webm", 2, "",
         "tavlomi: --video takes its value after '=': --video=FILE" + tryHelp},
        // Notices about ignored arguments come before the missing display.
        {"Window 640 --test-scene", 1, "",
         "tavlomi: a size needs both width and height; '640' ignored, using 320 x 240\n"
         "Error: First parameter was not either lowercase 'fullscreen' or 'window' (no quotes), "
         "ignored.\ntavlomi: no display found: run it on a desktop (DISPLAY or WAYLAND_DISPLAY "
         "is not set)\n"},
    };
    for (const auto& c : cases) {
        const RunResult result = runToy(c.args);
        EXPECT_EQ(result.exitStatus, c.status) << c.args;
        EXPECT_EQ(result.out.substr(0, c.out.size()), c.out) << c.args;
        EXPECT_EQ(result.out.empty(), c.out.empty()) << c.args;
        EXPECT_EQ(ownLines(result.err), c.err) << c.args;
    }
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
        EXPECT_EQ(ownLines(result.err), c.err);
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
