#include "app/replay_tool.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "app/clock.hpp"
#include "app/command_line.hpp"
#include "app/event_script.hpp"
#include "app/memory_budget.hpp"
#include "app/toy_session.hpp"
#include "capture/clip_file_source.hpp"
#include "common/worker_pool.hpp"

namespace tavlomi {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The overlay's time per frame, so that a line stays exactly 200 frames.
constexpr int kOverlayMillisecondsPerFrame = 10;

const char* const kUsage =
    "Usage: tavlomi-replay --size W H --frames N --input FILE [--events FILE] [--screens FILE]\n"
    "                      [--overlay] [--threads N]\n"
    "\n"
    "Runs the toy in a hidden window of W x H for exactly N frames, taking frame min(i, K-1)\n"
    "of FILE (K frames of 3*W*H bytes: B G R, bottom row first) as the camera picture of frame\n"
    "i. --events FILE scripts keys and the mouse, one event a line:\n"
    "  F key CODE | F down X Y | F up X Y | F move X Y | F quit\n"
    "where F is the 0-based frame that sees the event. --screens FILE receives each frame's\n"
    "screen as W*H little-endian 32-bit words, top row first. Standard output carries the\n"
    "toy's status lines. --overlay also shows them, and the F1 help, over the picture as the\n"
    "toy does, with time running 1/100 s per frame; without it the screens hold only the\n"
    "effect and the ball. --threads N computes the picture on N threads (by default one per\n"
    "processor core); every count gives the same screens.\n";

struct ReplayOptions {
    int width = 0;
    int height = 0;
    long long frames = -1;
    std::string input;
    std::string events;
    std::string screens;
    bool overlay = false;
    // 0: one per processor core.
    int threads = 0;
};

std::optional<long long> wholeNumber(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 12) {
        return std::nullopt;
    }
    return std::stoll(text);
}

// Empty error when the arguments are usable.
std::string parseOptions(int argc, char** argv, ReplayOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int remaining = argc - 1 - i;
        if (arg == "--size" && remaining >= 2) {
            const std::optional<long long> w = wholeNumber(argv[i + 1]);
            const std::optional<long long> h = wholeNumber(argv[i + 2]);
            if (!w || !h || *w < 1 || *h < 1 || *w > kMaxSide || *h > kMaxSide) {
                return "--size takes a width and a height from 1 to " + std::to_string(kMaxSide);
            }
            options.width = static_cast<int>(*w);
            options.height = static_cast<int>(*h);
            i += 2;
        } else if (arg == "--frames" && remaining >= 1) {
            const std::optional<long long> n = wholeNumber(argv[++i]);
            if (!n) return "--frames takes a whole number";
            options.frames = *n;
        } else if (arg == "--input" && remaining >= 1) {
            options.input = argv[++i];
        } else if (arg == "--events" && remaining >= 1) {
            options.events = argv[++i];
        } else if (arg == "--screens" && remaining >= 1) {
            options.screens = argv[++i];
        } else if (arg == "--overlay") {
            options.overlay = true;
        } else if (arg == "--threads" && remaining >= 1) {
            const std::optional<long long> n = wholeNumber(argv[++i]);
            if (!n || *n < 1 || *n > WorkerPool::kMaxThreads) {
                return "--threads takes a whole number from 1 to " +
                       std::to_string(WorkerPool::kMaxThreads);
            }
            options.threads = static_cast<int>(*n);
        } else {
            return "unexpected argument '" + arg + "'";
        }
    }
    if (options.width == 0) return "--size is required";
    if (options.frames < 0) return "--frames is required";
    if (options.input.empty()) return "--input is required";
    return {};
}

bool readWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream buffer;
    buffer << file.rdbuf();
    text = buffer.str();
    return !file.bad();
}

bool appendScreen(std::FILE* file, const std::vector<std::uint32_t>& words,
                  std::vector<std::uint8_t>& bytes) {
    bytes.resize(words.size() * 4);
    for (std::size_t i = 0; i < words.size(); ++i) {
        bytes[4 * i] = static_cast<std::uint8_t>(words[i]);
        bytes[4 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
        bytes[4 * i + 2] = static_cast<std::uint8_t>(words[i] >> 16);
        bytes[4 * i + 3] = static_cast<std::uint8_t>(words[i] >> 24);
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

// Replays the clip and the events as the options say; the exit status.
int replay(const ReplayOptions& options, const ReplayDisplayOpener& openDisplay) {
    EventScript script;
    if (!options.events.empty()) {
        std::string text;
        if (!readWholeFile(options.events, text)) {
            std::cerr << "tavlomi-replay: cannot read the events '" << options.events << "'\n";
            return kExitUsage;
        }
        script = parseEventScript(text);
        if (!script.error.empty()) {
            std::cerr << "tavlomi-replay: " << options.events << ": " << script.error << "\n";
            return kExitUsage;
        }
    }
    std::string error;
    std::unique_ptr<ClipFileSource> source =
        ClipFileSource::open(options.input, options.width, options.height, error);
    if (!source) {
        std::cerr << "tavlomi-replay: " << error << "\n";
        return kExitUsage;
    }
    using FileCloser = ClipFileSource::FileCloser;
    std::unique_ptr<std::FILE, FileCloser> screens;
    if (!options.screens.empty()) {
        screens.reset(std::fopen(options.screens.c_str(), "wb"));
        if (!screens) {
            std::cerr << "tavlomi-replay: cannot write the screens '" << options.screens << "'\n";
            return kExitFailure;
        }
    }

    const std::unique_ptr<ReplayDisplay> display =
        openDisplay(options.width, options.height, error);
    if (!display) {
        std::cerr << "tavlomi-replay: " << error << "\n";
        return kExitFailure;
    }
    SteppedClock clock;
    ToySession session(clock);
    const int threads = options.threads > 0 ? options.threads : defaultThreadCount();
    FrameLoop& loop = session.start(display->display(), *source, options.width, options.height, 0,
                                    options.overlay, threads);

    std::vector<std::uint32_t> words;
    std::vector<std::uint8_t> bytes;
    std::size_t nextEvent = 0;
    // Events are replayed in frame order; within a frame, in file order.
    std::stable_sort(
        script.events.begin(), script.events.end(),
        [](const ScriptedEvent& a, const ScriptedEvent& b) { return a.frame < b.frame; });
    for (long long frame = 0; frame < options.frames; ++frame) {
        for (; nextEvent < script.events.size() && script.events[nextEvent].frame == frame;
             ++nextEvent) {
            if (!display->pushEvent(script.events[nextEvent].event)) {
                std::cerr << "tavlomi-replay: the event queue is full in frame " << frame << "\n";
                return kExitFailure;
            }
        }
        if (!loop.runFrame()) break;
        clock.advance(kOverlayMillisecondsPerFrame);
        if (screens) {
            display->copyScreen(words);
            if (!appendScreen(screens.get(), words, bytes)) {
                std::cerr << "tavlomi-replay: cannot write the screens '" << options.screens
                          << "'\n";
                return kExitFailure;
            }
        }
    }
    if (screens && std::fflush(screens.get()) != 0) {
        std::cerr << "tavlomi-replay: cannot write the screens '" << options.screens << "'\n";
        return kExitFailure;
    }
    return 0;
}

}  // namespace

int runReplayTool(int argc, char** argv, const ReplayDisplayOpener& openDisplay) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::cout << kUsage;
        return 0;
    }
    ReplayOptions options;
    if (const std::string error = parseOptions(argc, argv, options); !error.empty()) {
        std::cerr << "tavlomi-replay: " << error << "\n" << kUsage;
        return kExitUsage;
    }
    return exitStatusWithinMemory("tavlomi-replay", options.width, options.height,
                                  [&] { return replay(options, openDisplay); });
}

}  // namespace tavlomi
