// tavlomi_soak: hours of play compressed. The replay path (the real SDL display on SDL's dummy
// driver, Toy, FrameLoop without pause) runs for many frames with random keys, drags to any
// coordinate, a threshold swept far below 0 and above 254, every effect and mode, and random
// camera pictures, while resident memory is measured after a warm-up and at the end.
//
//   tavlomi_soak [--frames N] [--size W H] [--seed S] [--warm-up F] [--report-every R]
//                [--max-growth-kb K]
//
// Resident memory is taken after F warm-up frames (default a tenth of N, at most 5000) and at
// the end, and every R frames when R is given. Exit status 0 when it grew by at most K kB in
// between and every status line was well formed; 1 otherwise; 2 for a bad command line.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/frame_loop.hpp"
#include "app/toy.hpp"
#include "capture/frame_source.hpp"
#include "common/input_event.hpp"
#include "common/status_sink.hpp"
#include "sdl/sdl_display.hpp"

namespace {

using namespace tavlomi;

struct SoakOptions {
    long long frames = 100000;
    int width = 64;
    int height = 48;
    std::uint32_t seed = 1;
    long long warmUpFrames = -1;
    long long reportEvery = 0;
    long long maxGrowthKb = 2048;
};

bool parseWhole(const char* text, long long max, long long& value) {
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 0 || parsed > max) return false;
    value = parsed;
    return true;
}

bool parseOptions(int argc, char** argv, SoakOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int remaining = argc - 1 - i;
        long long a = 0;
        long long b = 0;
        if (arg == "--frames" && remaining >= 1 && parseWhole(argv[++i], 1LL << 40, a)) {
            options.frames = a;
        } else if (arg == "--size" && remaining >= 2 && parseWhole(argv[i + 1], 1024, a) &&
                   parseWhole(argv[i + 2], 1024, b) && a > 0 && b > 0) {
            options.width = static_cast<int>(a);
            options.height = static_cast<int>(b);
            i += 2;
        } else if (arg == "--seed" && remaining >= 1 && parseWhole(argv[++i], 0xFFFFFFFFLL, a)) {
            options.seed = static_cast<std::uint32_t>(a);
        } else if (arg == "--warm-up" && remaining >= 1 && parseWhole(argv[++i], 1LL << 40, a)) {
            options.warmUpFrames = a;
        } else if (arg == "--report-every" && remaining >= 1 &&
                   parseWhole(argv[++i], 1LL << 40, a)) {
            options.reportEvery = a;
        } else if (arg == "--max-growth-kb" && remaining >= 1 &&
                   parseWhole(argv[++i], 1LL << 30, a)) {
            options.maxGrowthKb = a;
        } else {
            return false;
        }
    }
    if (options.warmUpFrames < 0)
        options.warmUpFrames = std::min<long long>(5000, options.frames / 10);
    return options.warmUpFrames <= options.frames;
}

// VmRSS of this process in kB; -1 when it cannot be read.
long long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long long kb = -1;
            status >> kb;
            return kb;
        }
    }
    return -1;
}

// Counts the toy's status lines and remembers whether any was not of the "< text >\n" form.
class CheckingStatus final : public StatusSink {
  public:
    void print(std::string_view line) override {
        ++lines;
        if (line.size() < 5 || line.substr(0, 2) != "< " ||
            line.substr(line.size() - 3) != " >\n") {
            malformed = true;
        }
    }
    long long lines = 0;
    bool malformed = false;
};

// A camera that shows one of a few fixed pictures, chosen at random each frame, and sometimes
// has no new frame at all.
class RandomClipSource final : public FrameSource {
  public:
    RandomClipSource(int width, int height, std::mt19937& random) : random_(random) {
        const std::size_t bytes = 3 * static_cast<std::size_t>(width) * height;
        for (std::size_t k = 0; k < clip_.size(); ++k) {
            std::vector<std::uint8_t>& frame = clip_[k];
            frame.resize(bytes);
            for (std::size_t i = 0; i < bytes; ++i) {
                const std::size_t pixel = i / 3;
                const int x = static_cast<int>(pixel % static_cast<std::size_t>(width));
                const int y = static_cast<int>(pixel / static_cast<std::size_t>(width));
                switch (k) {
                    case 0:
                        frame[i] = 0;
                        break;
                    case 1:
                        frame[i] = 255;
                        break;
                    case 2:
                        frame[i] = 128;
                        break;
                    case 3:
                        frame[i] = static_cast<std::uint8_t>(x * 255 / width);
                        break;
                    case 4:
                        frame[i] = ((x / 4 + y / 4) % 2 != 0) ? 255 : 0;
                        break;
                    default:
                        frame[i] = static_cast<std::uint8_t>(random_());
                        break;
                }
            }
        }
    }

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override {
        if (random_() % 5 == 0) return false;
        const std::vector<std::uint8_t>& frame = clip_[random_() % clip_.size()];
        if (frame.size() != frameBuffer.size()) return false;
        std::copy(frame.begin(), frame.end(), frameBuffer.begin());
        return true;
    }

  private:
    std::mt19937& random_;
    std::array<std::vector<std::uint8_t>, 8> clip_;
};

// Chooses each frame's events: effect and mode keys, other keys, drags, and a threshold that
// follows a slow triangle wave between -kSweep and +kSweep around its start.
class EventPlan {
  public:
    static constexpr int kSweep = 300;
    static constexpr long long kSweepPeriod = 4000;

    explicit EventPlan(std::mt19937& random) : random_(random) {}

    void eventsFor(long long frame, int threshold, std::vector<InputEvent>& events) {
        events.clear();
        const long long phase = frame % kSweepPeriod;
        const long long half = kSweepPeriod / 2;
        const long long rise = phase < half ? phase : kSweepPeriod - phase;
        const int target =
            Toy::kInitialThreshold - kSweep + static_cast<int>(rise * 2 * kSweep / half);
        if (threshold != target) {
            const bool up = threshold < target;
            const int key = pick(2) == 0 ? (up ? keys::kEquals : keys::kMinus)
                                         : (up ? keys::kKeypadPlus : keys::kKeypadMinus);
            events.push_back(keyDown(key));
        }
        if (pick(4) != 0) return;
        const int count = 1 + pick(4);
        for (int i = 0; i < count; ++i)
            events.push_back(randomEvent());
    }

  private:
    int pick(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }
    static InputEvent keyDown(int key) { return {InputEvent::Type::KeyDown, key, 0, 0}; }

    InputEvent randomEvent() {
        static constexpr std::array<int, 12> kToyKeys = {keys::kDigit1,
                                                         keys::kDigit1 + 1,
                                                         keys::kDigit3,
                                                         keys::kSpace,
                                                         keys::kF,
                                                         keys::kF,
                                                         keys::kSpace,
                                                         keys::kEquals,
                                                         keys::kMinus,
                                                         keys::kDigit0,
                                                         52,
                                                         keys::kDigit9};
        const int x = coordinate();
        const int y = coordinate();
        switch (pick(8)) {
            case 0:
            case 1:
            case 2:
                return keyDown(
                    kToyKeys[static_cast<std::size_t>(pick(static_cast<int>(kToyKeys.size())))]);
            case 3: {
                // Any other SDL 1.2 key code except Escape, which would end the run.
                int key = 1 + pick(322);
                if (key == keys::kEscape) key = keys::kF;
                return keyDown(key);
            }
            case 4:
                return {InputEvent::Type::MouseButtonDown, 0, x, y};
            case 5:
                return {InputEvent::Type::MouseButtonUp, 0, x, y};
            default:
                return {InputEvent::Type::MouseMotion, 0, x, y};
        }
    }

    // Half the time anywhere in 0..65535, else near the window.
    int coordinate() { return pick(2) == 0 ? pick(65536) : pick(128); }

    std::mt19937& random_;
};

}  // namespace

int main(int argc, char** argv) {
    SoakOptions options;
    if (!parseOptions(argc, argv, options)) {
        std::cerr << "usage: tavlomi_soak [--frames N] [--size W H] [--seed S] [--warm-up F] "
                     "[--report-every R] [--max-growth-kb K]\n";
        return 2;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    std::unique_ptr<SdlDisplay> display =
        SdlDisplay::open(options.width, options.height, false, 1, error);
    if (!display) {
        std::cerr << "tavlomi_soak: " << error << "\n";
        return 1;
    }
    std::mt19937 random(options.seed);
    RandomClipSource source(options.width, options.height, random);
    CheckingStatus status;
    Toy toy(options.width, options.height, source, status);
    FrameLoop loop(*display, toy, 0);
    EventPlan plan(random);

    std::cout << "soak: " << options.width << " x " << options.height << ", " << options.frames
              << " frames, seed " << options.seed << "\n";
    const auto start = std::chrono::steady_clock::now();
    long long startKb = residentKb();
    std::cout << "soak: resident memory at start: " << startKb << " kB\n";
    long long events = 0;
    long long expectedThreshold = Toy::kInitialThreshold;
    int lowestThreshold = toy.motionThreshold();
    int highestThreshold = toy.motionThreshold();
    std::array<long long, 3> framesPerEffect{};
    std::vector<InputEvent> frameEvents;
    for (long long frame = 0; frame < options.frames; ++frame) {
        if (options.reportEvery > 0 && frame > 0 && frame % options.reportEvery == 0) {
            std::cout << "soak: resident memory after " << frame << " frames: " << residentKb()
                      << " kB\n";
        }
        if (frame == options.warmUpFrames) {
            startKb = residentKb();
            std::cout << "soak: resident memory after " << frame << " warm-up frames: " << startKb
                      << " kB\n";
        }
        plan.eventsFor(frame, toy.motionThreshold(), frameEvents);
        for (const InputEvent& event : frameEvents) {
            if (!SdlDisplay::pushEvent(event)) {
                std::cerr << "tavlomi_soak: the event queue is full in frame " << frame << "\n";
                return 1;
            }
            if (event.type == InputEvent::Type::KeyDown) {
                if (event.key == keys::kEquals || event.key == keys::kKeypadPlus) {
                    ++expectedThreshold;
                } else if (event.key == keys::kMinus || event.key == keys::kKeypadMinus) {
                    --expectedThreshold;
                }
            }
        }
        events += static_cast<long long>(frameEvents.size());
        if (!loop.runFrame()) {
            std::cerr << "tavlomi_soak: the loop ended by itself in frame " << frame << "\n";
            return 1;
        }
        lowestThreshold = std::min(lowestThreshold, toy.motionThreshold());
        highestThreshold = std::max(highestThreshold, toy.motionThreshold());
        ++framesPerEffect[static_cast<std::size_t>(toy.currentEffectIndex())];
    }
    const long long endKb = residentKb();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::cout << "soak: resident memory after " << options.frames << " frames: " << endKb
              << " kB (growth " << endKb - startKb << " kB, bound " << options.maxGrowthKb
              << " kB)\n"
              << "soak: " << events << " events, " << status.lines
              << " status lines, threshold from " << lowestThreshold << " to " << highestThreshold
              << ", frames per effect " << framesPerEffect[0] << " " << framesPerEffect[1] << " "
              << framesPerEffect[2] << ", " << seconds << " s\n";

    bool ok = true;
    if (startKb < 0 || endKb < 0) {
        std::cerr << "tavlomi_soak: cannot read VmRSS from /proc/self/status\n";
        ok = false;
    } else if (endKb - startKb > options.maxGrowthKb) {
        std::cerr << "tavlomi_soak: resident memory grew by " << endKb - startKb
                  << " kB, more than " << options.maxGrowthKb << " kB\n";
        ok = false;
    }
    if (status.malformed) {
        std::cerr << "tavlomi_soak: a status line was not of the form '< text >'\n";
        ok = false;
    }
    if (toy.motionThreshold() != expectedThreshold) {
        std::cerr << "tavlomi_soak: the threshold is " << toy.motionThreshold() << ", expected "
                  << expectedThreshold << "\n";
        ok = false;
    }
    return ok ? 0 : 1;
}
