// tavlomi-frame-stages: where the time of one replay frame goes, end to end. Runs the toy as
// tavlomi-replay does (its start-up, SDL's dummy display, a recorded clip, scripted events) in two
// passes over the same frames: one through the real frame loop, timing whole frames, and one in
// the loop's order step by step, timing each step with a steady clock. Prints each stage with the
// bytes it moves against a streaming copy's bandwidth, and how far the stages' sum is from the
// whole frame.
//
//   tavlomi-frame-stages --size W H --frames N --input FILE [--events FILE] [--warmup K]
//                        [--threads T]

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/event_script.hpp"
#include "app/frame_loop.hpp"
#include "app/input_dispatch.hpp"
#include "app/toy.hpp"
#include "capture/clip_file_source.hpp"
#include "frame_traffic.hpp"
#include "sdl/sdl_display.hpp"

namespace tavlomi::bench {
namespace {

// A moment on two clocks, in milliseconds: the steady clock, and the CPU time of the whole
// process (every thread's), which work of other processes on a shared machine does not inflate.
struct Stamp {
    double wall = 0;
    double cpu = 0;
};

Stamp now() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    const auto wall = std::chrono::steady_clock::now().time_since_epoch();
    return {std::chrono::duration<double, std::milli>(wall).count(),
            1e3 * static_cast<double>(cpu.tv_sec) + 1e-6 * static_cast<double>(cpu.tv_nsec)};
}

Stamp operator-(Stamp a, Stamp b) {
    return {a.wall - b.wall, a.cpu - b.cpu};
}

Stamp& operator+=(Stamp& a, Stamp b) {
    a.wall += b.wall;
    a.cpu += b.cpu;
    return a;
}

class QuietStatus final : public StatusSink {
  public:
    void print(std::string_view) override {}
};

// The clip, timed: reading it is a stage of its own inside the toy's capture.
class TimedSource final : public FrameSource {
  public:
    explicit TimedSource(std::unique_ptr<ClipFileSource> clip) : clip_(std::move(clip)) {}

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override {
        const Stamp start = now();
        const bool copied = clip_->copyNewestFrame(frameBuffer);
        spent_ += now() - start;
        return copied;
    }

    // The time spent reading since the last call.
    Stamp takeSpent() { return std::exchange(spent_, Stamp{}); }

  private:
    std::unique_ptr<ClipFileSource> clip_;
    Stamp spent_;
};

// The commands that events turn into, as the frame loop hands them on; the replay's display
// shows no help, has no full screen and takes no snapshot.
class ToyCommands final : public InputTarget {
  public:
    explicit ToyCommands(Toy& toy) : toy_(toy) {}

    void adjustThreshold(bool up) override { toy_.adjustThreshold(up); }
    void selectEffect(int index) override { toy_.selectEffect(index); }
    void passKey(int key) override { toy_.passKey(key); }
    void placeBall(int x, int y) override { toy_.placeBall(x, y); }
    void toggleHelp() override {}
    void toggleFullScreen() override {}
    void snapshot() override {}

  private:
    Toy& toy_;
};

struct Options {
    int width = 0;
    int height = 0;
    int frames = 0;
    int warmup = 5;
    int threads = 1;
    std::string input;
    std::string events;
};

std::vector<ScriptedEvent> readEvents(const std::string& path) {
    if (path.empty()) return {};
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    EventScript script = parseEventScript(text.str());
    if (!file || !script.error.empty()) {
        std::cerr << "tavlomi-frame-stages: cannot use the events '" << path
                  << "': " << script.error << "\n";
        std::exit(2);
    }
    std::stable_sort(
        script.events.begin(), script.events.end(),
        [](const ScriptedEvent& a, const ScriptedEvent& b) { return a.frame < b.frame; });
    return script.events;
}

std::unique_ptr<ClipFileSource> openClip(const Options& options) {
    std::string error;
    std::unique_ptr<ClipFileSource> clip =
        ClipFileSource::open(options.input, options.width, options.height, error);
    if (!clip) {
        std::cerr << "tavlomi-frame-stages: " << error << "\n";
        std::exit(2);
    }
    return clip;
}

// What the mask of a frame covers: the share of cells, and of 64-cell blocks, with motion.
struct Coverage {
    double cells = 0;
    double blocks = 0;
};

Coverage coverage(const MotionMask& mask) {
    constexpr std::size_t kBlock = 64;
    std::size_t cells = 0;
    std::size_t blocks = 0;
    for (std::size_t i = 0; i < mask.size(); i += kBlock) {
        const std::size_t end = std::min(mask.size(), i + kBlock);
        const auto moving =
            static_cast<std::size_t>(std::count_if(mask.begin() + static_cast<std::ptrdiff_t>(i),
                                                   mask.begin() + static_cast<std::ptrdiff_t>(end),
                                                   [](std::uint8_t m) { return m != 0; }));
        cells += moving;
        blocks += moving > 0 ? 1 : 0;
    }
    const double blockCount = static_cast<double>((mask.size() + kBlock - 1) / kBlock);
    return {static_cast<double>(cells) / static_cast<double>(mask.size()),
            static_cast<double>(blocks) / blockCount};
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

double median(const std::vector<double>& values) {
    return quantile(values, 0.5);
}

// Per timed frame: the stages' times (left at 0 by a pass of whole frames) and the frame's.
struct PassResult {
    std::array<std::vector<Stamp>, kStageCount> stages;
    std::vector<Stamp> whole;
    std::vector<Coverage> coverage;
    Stamp toyStartup;
    Stamp firstFrame;
    FrameShape shape;
};

// One frame in the frame loop's order, each step timed into times.
void runFrameByStage(SdlDisplay& display, InputDispatch& dispatch, ToyCommands& commands, Toy& toy,
                     TimedSource& source, std::array<Stamp, kStageCount>& times) {
    // at[k] is the end of the step before stage k + 1 in the frame loop's order, at[0] the start.
    std::array<Stamp, kStageCount> at;
    const Stamp start = now();
    InputEvent event;
    while (display.pollEvent(event))
        dispatch.handle(event, commands);
    at[0] = now();
    toy.captureFrame();
    at[1] = now();
    toy.markMotion();
    at[2] = now();
    toy.stepBall();
    at[3] = now();
    toy.updateEffect();
    at[4] = now();
    display.clearScreen();
    at[5] = now();
    toy.renderEffect(display.lockEffectSurface());
    display.unlockEffectSurface();
    at[6] = now();
    display.blitEffectSurface(toy.workerPool());
    at[7] = now();
    toy.drawBall(display.screen());
    at[8] = now();
    display.present();
    at[9] = now();
    // The capture is the clip's reading, then the conversion.
    const Stamp read = source.takeSpent();
    const auto set = [&times](Stage stage, Stamp value) { times[static_cast<int>(stage)] = value; };
    set(Stage::Events, at[0] - start);
    set(Stage::ReadClip, read);
    set(Stage::Conversion, at[1] - at[0] - read);
    set(Stage::Motion, at[2] - at[1]);
    set(Stage::Ball, at[3] - at[2]);
    set(Stage::Update, at[4] - at[3]);
    set(Stage::Clear, at[5] - at[4]);
    set(Stage::Render, at[6] - at[5]);
    set(Stage::Blit, at[7] - at[6]);
    set(Stage::DrawBall, at[8] - at[7]);
    set(Stage::Present, at[9] - at[8]);
}

// Builds a toy on display and runs every frame of the clip through it, by stage or whole.
PassResult runPass(const Options& options, const std::vector<ScriptedEvent>& events,
                   SdlDisplay& display, bool byStage) {
    PassResult result;
    TimedSource source(openClip(options));
    QuietStatus status;
    const Stamp start = now();
    Toy toy(options.width, options.height, source, status, options.threads);
    result.toyStartup = now() - start;
    FrameLoop loop(display, toy, 0);
    InputDispatch dispatch;
    ToyCommands commands(toy);
    std::size_t nextEvent = 0;
    for (int frame = 0; frame < options.frames; ++frame) {
        for (; nextEvent < events.size() && events[nextEvent].frame == frame; ++nextEvent)
            SdlDisplay::pushEvent(events[nextEvent].event);
        const Stamp frameStart = now();
        std::array<Stamp, kStageCount> times{};
        if (byStage) {
            runFrameByStage(display, dispatch, commands, toy, source, times);
        } else if (!loop.runFrame()) {
            break;
        }
        const Stamp whole = now() - frameStart;
        if (frame == 0) result.firstFrame = whole;
        if (frame < options.warmup) continue;
        for (int s = 0; s < kStageCount; ++s)
            result.stages[s].push_back(times[s]);
        result.whole.push_back(whole);
        result.coverage.push_back(coverage(toy.motionMask()));
    }
    result.shape.cells = static_cast<std::size_t>(options.width) * options.height;
    result.shape.effect = toy.currentEffectIndex();
    result.shape.respondToBall = result.shape.effect == 1 ? toy.waterEffect().respondToBall()
                                                          : toy.fireEffect().respondToBall();
    result.shape.frozen = toy.waterEffect().frozen();
    std::vector<double> blocks;
    for (const Coverage& c : result.coverage)
        blocks.push_back(c.blocks);
    result.shape.motionBlocks = median(blocks);
    return result;
}

// GB/s of a copy between two buffers far larger than the caches, read and written bytes
// counted; the best of a few runs, on `threads` threads each copying its own part.
double streamingCopyGBs(int threads) {
    constexpr std::size_t kBytes = std::size_t{256} << 20;
    std::vector<std::uint8_t> from(kBytes, 1);
    std::vector<std::uint8_t> to(kBytes, 0);
    const std::size_t part = kBytes / static_cast<std::size_t>(threads);
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        const Stamp start = now();
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back(
                [&, t] { std::memcpy(to.data() + t * part, from.data() + t * part, part); });
        }
        for (std::thread& worker : workers)
            worker.join();
        best = std::min(best, (now() - start).wall);
    }
    return 2.0 * static_cast<double>(kBytes) / (best * 1e6);
}

std::string modeName(const FrameShape& shape) {
    switch (shape.effect) {
        case 1:
            return std::string("water in ") + (shape.respondToBall ? "ball" : "motion") + " mode" +
                   (shape.frozen ? ", frozen" : "");
        case 2:
            return std::string("fire in ") + (shape.respondToBall ? "ball" : "movement") + " mode";
        default:
            return "plain view";
    }
}

std::vector<double> walls(const std::vector<Stamp>& stamps) {
    std::vector<double> values;
    for (const Stamp& s : stamps)
        values.push_back(s.wall);
    return values;
}

std::vector<double> cpus(const std::vector<Stamp>& stamps) {
    std::vector<double> values;
    for (const Stamp& s : stamps)
        values.push_back(s.cpu);
    return values;
}

Stamp medians(const std::vector<Stamp>& stamps) {
    return {median(walls(stamps)), median(cpus(stamps))};
}

// The time a stage would take on a machine of its own: other processes stretch the wall clock,
// worker threads add their CPU time up, and neither makes the other smaller.
double ownTime(Stamp s) {
    return std::min(s.wall, s.cpu);
}

void report(const Options& options, const PassResult& whole, const PassResult& staged,
            Stamp opening) {
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const double oneThread = streamingCopyGBs(1);
    const double allThreads = streamingCopyGBs(threads);
    std::vector<double> cells;
    for (const Coverage& c : staged.coverage)
        cells.push_back(100.0 * c.cells);
    std::printf("tavlomi-frame-stages: %d x %d, %s, frames %d..%d timed, medians\n", options.width,
                options.height, modeName(staged.shape).c_str(), options.warmup, options.frames - 1);
    std::printf(
        "  motion: %.1f %% of cells a frame (10th to 90th percentile %.1f to %.1f %%), "
        "%.1f %% of 64-cell blocks\n",
        median(cells), quantile(cells, 0.1), quantile(cells, 0.9),
        100.0 * staged.shape.motionBlocks);
    std::printf(
        "  streaming copy (bytes read + written): %.1f GB/s on one thread, %.1f GB/s on "
        "%d\n",
        oneThread, allThreads, threads);
    std::printf("  %-18s %8s %8s %6s %8s %10s %8s %7s\n", "stage", "wall ms", "CPU ms", "share",
                "MB read", "MB written", "bound ms", "x bound");
    std::array<Stamp, kStageCount> times;
    Stamp sum;
    for (int s = 0; s < kStageCount; ++s) {
        times[s] = medians(staged.stages[s]);
        sum += times[s];
    }
    Traffic total;
    for (int s = 0; s < kStageCount; ++s) {
        const Traffic t = stageTraffic(static_cast<Stage>(s), staged.shape);
        total.read += t.read;
        total.written += t.written;
        const double bound = t.total() / (oneThread * 1e6);
        char multiple[16] = "-";
        if (bound > 0) std::snprintf(multiple, sizeof multiple, "%.2f", ownTime(times[s]) / bound);
        std::printf("  %-18s %8.3f %8.3f %5.1f%% %8.1f %10.1f %8.3f %7s\n", kStageNames[s],
                    times[s].wall, times[s].cpu, 100.0 * times[s].cpu / sum.cpu, t.read / 1e6,
                    t.written / 1e6, bound, multiple);
    }
    const double bound = total.total() / (oneThread * 1e6);
    const Stamp frame = medians(whole.whole);
    std::printf("  %-18s %8.3f %8.3f %6s %8.1f %10.1f %8.3f %7.2f\n", "sum of the stages", sum.wall,
                sum.cpu, "", total.read / 1e6, total.written / 1e6, bound, ownTime(sum) / bound);
    std::printf("  %-18s %8.3f %8.3f %36.3f %7.2f\n", "whole frame", frame.wall, frame.cpu, bound,
                ownTime(frame) / bound);
    std::printf("  %-18s %8.3f %8.3f   (%.1f %% of the whole frame's CPU time)\n", "the rest",
                frame.wall - sum.wall, frame.cpu - sum.cpu,
                100.0 * (frame.cpu - sum.cpu) / frame.cpu);
    const bool addsUp = std::abs(frame.cpu - sum.cpu) <= 0.1 * frame.cpu &&
                        std::abs(frame.wall - sum.wall) <= 0.1 * frame.wall;
    std::printf(
        "  the stages add up to the whole frame (the frame loop's) within 10 %%: %s "
        "(sum / whole: wall clock %.3f, CPU time %.3f)\n",
        addsUp ? "yes" : "NO", sum.wall / frame.wall, sum.cpu / frame.cpu);
    std::printf(
        "  bandwidth bound of the whole frame: %.3f ms on one thread (the frame takes "
        "%.2f x), %.3f ms at %.1f GB/s on %d threads (%.2f x)\n",
        bound, ownTime(frame) / bound, total.total() / (allThreads * 1e6), allThreads, threads,
        ownTime(frame) / (total.total() / (allThreads * 1e6)));
    std::printf(
        "  start-up (wall clock / CPU time): SDL's display %.1f / %.1f ms, the toy %.1f / "
        "%.1f ms, the first frame %.1f / %.1f ms\n",
        opening.wall, opening.cpu, whole.toyStartup.wall, whole.toyStartup.cpu,
        whole.firstFrame.wall, whole.firstFrame.cpu);
    std::printf(
        "summary: motion=%.2f whole_wall=%.3f whole_cpu=%.3f sum_wall=%.3f sum_cpu=%.3f "
        "bound=%.3f\n",
        median(cells), frame.wall, frame.cpu, sum.wall, sum.cpu, bound);
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int remaining = argc - 1 - i;
        if (arg == "--size" && remaining >= 2) {
            options.width = std::atoi(argv[i + 1]);
            options.height = std::atoi(argv[i + 2]);
            i += 2;
        } else if (arg == "--frames" && remaining >= 1) {
            options.frames = std::atoi(argv[++i]);
        } else if (arg == "--warmup" && remaining >= 1) {
            options.warmup = std::atoi(argv[++i]);
        } else if (arg == "--threads" && remaining >= 1) {
            options.threads = std::atoi(argv[++i]);
        } else if (arg == "--input" && remaining >= 1) {
            options.input = argv[++i];
        } else if (arg == "--events" && remaining >= 1) {
            options.events = argv[++i];
        } else {
            options.width = 0;
            break;
        }
    }
    if (options.width < 1 || options.height < 1 || options.input.empty() || options.warmup < 1 ||
        options.frames <= options.warmup || options.threads < 1 ||
        options.threads > WorkerPool::kMaxThreads) {
        std::cerr << "usage: tavlomi-frame-stages --size W H --frames N --input FILE "
                     "[--events FILE] [--warmup K] [--threads T]\n(N > K >= 1; the first K "
                     "frames are not timed; T threads, 1 by default)\n";
        std::exit(2);
    }
    return options;
}

int run(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    const std::vector<ScriptedEvent> events = readEvents(options.events);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    const Stamp start = now();
    std::unique_ptr<SdlDisplay> display =
        SdlDisplay::open(options.width, options.height, false, 1, error);
    const Stamp opening = now() - start;
    if (!display) {
        std::cerr << "tavlomi-frame-stages: " << error << "\n";
        return 1;
    }
    const PassResult whole = runPass(options, events, *display, false);
    const PassResult staged = runPass(options, events, *display, true);
    report(options, whole, staged, opening);
    return 0;
}

}  // namespace
}  // namespace tavlomi::bench

int main(int argc, char** argv) {
    return tavlomi::bench::run(argc, argv);
}
