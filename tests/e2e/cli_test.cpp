// The real tavlomi's command line: what it answers without a display, bad command lines refused
// before any window opens, a missing display or virtual camera reported as such, and a grid the
// memory cannot hold refused by both programs.

#include <gtest/gtest.h>

#include <sstream>

#include "e2e/replay_runner.hpp"

namespace tavlomi::e2e {
namespace {

// The programs' own lines of a standard error: a library or a sanitizer may add its own.
std::string ownLines(const std::string& err) {
    std::istringstream lines(err);
    std::string own;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("tavlomi") || line.starts_with("Error: ") || line.starts_with("Try "))
            own += line + "\n";
    }
    return own;
}

TEST(Cli, EachLineGetsItsStatusOutputAndNoticesInOrder) {
    // No display: anything that gets as far as opening a window ends with status 1.
    const std::string toy =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER '" TAVLOMI_PATH "' ";
    // No PipeWire answers on an empty runtime folder; this machine has no loopback device.
    // Without --foreground, timeout sends TERM to the toy and again to its process group, and a
    // second stop signal ends the toy at once by design.
    const std::string virtualCamera =
        "env -u PIPEWIRE_REMOTE XDG_RUNTIME_DIR=/nonexistent SDL_VIDEODRIVER=dummy timeout "
        "--foreground --preserve-status -s TERM 3 '" TAVLOMI_PATH
        "' window 64 48 --test-scene --virtual-camera";
    // 2 GB of address space cannot hold 8000 x 8000 cells of 50 bytes.
    const std::string memory =
        ": not enough memory for a 8000 x 8000 grid: it needs about 3.2 GB, ";
    const std::string tryHelp = "\nTry 'tavlomi --help'.\n";
    const struct {
        std::string command;
        int status;
        std::string out;
        std::string err;  // the start of the programs' own lines
    } cases[] = {
        {toy + "--help", 0, "Usage: tavlomi [fullscreen|window]", ""},
        {toy + "window --version", 0, "tavlomi " TAVLOMI_VERSION "\n", ""},
        // Every refusal takes the same way out; the reasons are the parser's, tested with it.
        {toy + "window 16384 240", 2, "",
         "tavlomi: the width 16384 is too large (at most 16383)" + tryHelp},
        {toy + "Window 640 --test-scene", 1, "",
         "tavlomi: a size needs both width and height; '640' ignored, using 320 x 240\n"
         "Error: First parameter was not either lowercase 'fullscreen' or 'window' (no quotes), "
         "ignored.\ntavlomi: no display found: run it on a desktop (DISPLAY or WAYLAND_DISPLAY "
         "is not set)\n"},
        // Only a virtual camera asked for by name ends the toy when it cannot be had (the whole
        // message is the plan's, tested with it).
        {virtualCamera + "=pipewire", 1, "",
         "tavlomi: no PipeWire virtual camera: no PipeWire daemon answers\n"},
        {virtualCamera, 0, "< ShowMotion responding to Ball >\n",
         "tavlomi: no virtual camera: no PipeWire daemon answers and there is no v4l2loopback "},
#ifndef __SANITIZE_ADDRESS__  // it reserves more address space than the limit allows
        {"ulimit -v 2000000 && '" TAVLOMI_PATH "' window 8000 8000 --test-scene", 1, "",
         "tavlomi" + memory},
        {"ulimit -v 2000000 && '" TAVLOMI_REPLAY_PATH "' --size 8000 8000 --frames 1 --input x", 1,
         "", "tavlomi-replay" + memory},
#endif
    };
    for (const auto& c : cases) {
        const RunResult result = runCommand(c.command);
        EXPECT_EQ(result.exitStatus, c.status) << c.command;
        EXPECT_EQ(result.out.substr(0, c.out.size()), c.out) << c.command;
        EXPECT_EQ(result.out.empty(), c.out.empty()) << c.command;
        EXPECT_EQ(ownLines(result.err).substr(0, c.err.size()), c.err) << c.command;
    }
}

}  // namespace
}  // namespace tavlomi::e2e
