// tavlomi_soak: hours of play compressed. The replay path (the real SDL display on SDL's dummy
// driver, Toy, FrameLoop without pause) runs a 64 x 48 toy for many frames of random play
// (tests/support/random_play.hpp, without Escape or quit, from a seeded generator), while
// resident memory is measured after a warm-up and at the end.
//
//   tavlomi_soak [--frames N] [--seed S] [--report-every R] [--max-growth-kb K]
//
// The warm-up is a tenth of N, at most 5000 frames; resident memory is also reported every R
// frames when R is given. Exit status 0 when it grew by at most K kB after the warm-up and every
// status line was well formed; 1 otherwise; 2 for a bad command line.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>

#include "app/event_script.hpp"
#include "app/frame_loop.hpp"
#include "app/toy.hpp"
#include "sdl/sdl_display.hpp"
#include "support/random_play.hpp"

namespace {

using namespace tavlomi;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// VmRSS of this process in kB; -1 when it cannot be read.
long long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) return std::stoll(line.substr(6));
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, long long> options = {
        {"--frames", 100000}, {"--seed", 1}, {"--report-every", 0}, {"--max-growth-kb", 2048}};
    bool usable = argc % 2 == 1;
    for (int i = 1; usable && i < argc; i += 2) {
        char* end = nullptr;
        const long long value = std::strtoll(argv[i + 1], &end, 10);
        const auto option = options.find(argv[i]);
        usable = option != options.end() && *end == '\0' && end != argv[i + 1] && value >= 0;
        if (usable) option->second = value;
    }
    if (!usable) {
        std::cerr << "usage: tavlomi_soak [--frames N] [--seed S] [--report-every R] "
                     "[--max-growth-kb K]\n";
        return 2;
    }
    const long long frames = options["--frames"];
    const long long seed = options["--seed"];
    const long long reportEvery = options["--report-every"];
    const long long maxGrowthKb = options["--max-growth-kb"];
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    std::unique_ptr<SdlDisplay> display = SdlDisplay::open(kWidth, kHeight, false, 1, error);
    if (!display) {
        std::cerr << "tavlomi_soak: " << error << "\n";
        return 1;
    }
    std::mt19937 random(static_cast<std::uint32_t>(seed));
    const NextByte nextByte = [&random] { return static_cast<std::uint8_t>(random()); };
    PictureCamera camera(kWidth, kHeight, nextByte);
    StatusLineCheck status;
    Toy toy(kWidth, kHeight, camera, status);
    FrameLoop loop(*display, toy, 0);
    RandomPlay play(nextByte, true);
    std::deque<InputEvent> queue;

    std::cout << "soak: " << kWidth << " x " << kHeight << ", " << frames << " frames, seed "
              << seed << "\n";
    const auto start = std::chrono::steady_clock::now();
    const long long warmUp = std::min<long long>(5000, frames / 10);
    long long startKb = residentKb();
    long long events = 0;
    for (long long frame = 0; frame < frames;) {
        for (int run = play.step(queue, camera); run > 0 && frame < frames; --run, ++frame) {
            if (frame == warmUp) startKb = residentKb();
            if (reportEvery > 0 && frame > 0 && frame % reportEvery == 0) {
                std::cout << "soak: resident memory after " << frame << " frames: " << residentKb()
                          << " kB\n";
            }
            // The window system's queue takes a frame's worth; the rest waits for later frames.
            for (int i = 0; i < kMaxEventsPerFrame && !queue.empty(); ++i, ++events) {
                if (!SdlDisplay::pushEvent(queue.front())) {
                    std::cerr << "tavlomi_soak: the event queue is full in frame " << frame << "\n";
                    return 1;
                }
                queue.pop_front();
            }
            if (!loop.runFrame()) {
                std::cerr << "tavlomi_soak: the loop ended by itself in frame " << frame << "\n";
                return 1;
            }
        }
    }
    const long long endKb = residentKb();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "soak: resident memory after " << warmUp << " warm-up frames: " << startKb
              << " kB, after " << frames << " frames: " << endKb << " kB (growth "
              << endKb - startKb << " kB, bound " << maxGrowthKb << " kB)\n"
              << "soak: " << events << " events, " << status.lines << " status lines, " << seconds
              << " s\n";

    const bool grew = startKb < 0 || endKb < 0 || endKb - startKb > maxGrowthKb;
    if (grew)
        std::cerr << "tavlomi_soak: resident memory grew by more than " << maxGrowthKb << " kB\n";
    if (status.malformed)
        std::cerr << "tavlomi_soak: a status line was not of the form '< text >'\n";
    return grew || status.malformed ? 1 : 0;
}
