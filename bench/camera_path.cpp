// What the GStreamer side of the camera path costs per frame, part by part, on a source shaped
// like a webcam's: one frame of JPEG or YUY2 sent again and again at 30 frames a second.
//
//     tavlomi-camera-path mjpeg|yuy2 WIDTH HEIGHT FRAME_FILE [SECONDS]
//
// Each part is the CPU time (user + system, every thread) per frame of a pipeline that ends
// after it, less that of the pipeline before it: the source, + jpegdec, + videoconvert to BGR,
// + videoscale to the same size, + the appsink of GstFrameSource. The frame loop's own share is
// timed on its thread: handing the frame over as a copy (bottom-up, packed rows) or lent in
// place; the difference is the repack.

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "common/notice_sink.hpp"
#include "gst/gst_frame_source.hpp"
#include "gst/gst_ref.hpp"

namespace {

using namespace tavlomi;
using Clock = std::chrono::steady_clock;

// The first frames carry start-up work (negotiation, pools, first allocations), not per-frame.
constexpr auto kWarmUp = std::chrono::seconds(1);
// How often the frame loop looks for a frame: a display's 60 Hz.
constexpr auto kPoll = std::chrono::microseconds(16667);

// CPU time so far of the whole process (CLOCK_PROCESS_CPUTIME_ID) or the calling thread.
double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

class StderrNotices final : public NoticeSink {
  public:
    void notice(std::string_view text) override { std::cerr << text << '\n'; }
};

void countFrame(GstElement*, GstBuffer*, GstPad*, gpointer frames) {
    static_cast<std::atomic<long>*>(frames)->fetch_add(1);
}

// Milliseconds of CPU per frame of description + " ! fakesink", after the warm-up.
double pipelineCost(const std::string& description, double seconds) {
    GError* error = nullptr;
    const GstRef<GstElement> pipeline{gst_parse_launch(
        (description + " ! fakesink name=sink sync=true signal-handoffs=true").c_str(), &error)};
    if (!pipeline || error != nullptr) {
        std::cerr << description << ": " << (error ? error->message : "cannot be made") << '\n';
        std::exit(1);
    }
    std::atomic<long> frames{0};
    const GstRef<GstElement> sink{gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink")};
    g_signal_connect(sink.get(), "handoff", G_CALLBACK(countFrame), &frames);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    std::this_thread::sleep_for(kWarmUp);
    const long firstFrames = frames.load();
    const double firstCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - firstCpu;
    const long counted = frames.load() - firstFrames;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return counted > 0 ? 1e3 * cpu / counted : 0.0;
}

struct LoopCost {
    double streaming = 0;  // ms per frame on GStreamer's threads
    double frameLoop = 0;  // ms per frame on the thread taking the frames
};

// GstFrameSource on source, its frames taken by copy or lent, after the warm-up.
LoopCost sourceCost(const std::string& source, int width, int height, bool lend, double seconds) {
    StderrNotices notices;
    std::string error;
    auto frames = GstFrameSource::openLaunchSource(source, width, height, notices, error);
    if (!frames) {
        std::cerr << error << '\n';
        std::exit(1);
    }
    std::vector<std::uint8_t> frameBuffer(3 * static_cast<std::size_t>(width) * height);
    long taken = 0;
    double firstCpu = 0, firstLoop = 0;
    const auto start = Clock::now();
    for (bool measuring = false;;) {
        if (!measuring && Clock::now() - start > kWarmUp) {
            measuring = true;
            taken = 0;
            firstCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
            firstLoop = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        }
        if (measuring && Clock::now() - start > kWarmUp + std::chrono::duration<double>(seconds))
            break;
        const bool got = lend ? frames->viewNewestFrame(frameBuffer, width).has_value()
                              : frames->copyNewestFrame(frameBuffer);
        taken += got;
        std::this_thread::sleep_for(kPoll);
    }
    const double loop = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - firstLoop;
    const double all = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - firstCpu;
    return {1e3 * (all - loop) / taken, 1e3 * loop / taken};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::cerr << "usage: tavlomi-camera-path mjpeg|yuy2 WIDTH HEIGHT FRAME_FILE [SECONDS]\n";
        return 2;
    }
    const std::string format = argv[1];
    const std::string w = argv[2], h = argv[3], file = argv[4];
    const double seconds = argc > 5 ? std::stod(argv[5]) : 6.0;
    const int width = std::stoi(w), height = std::stoi(h);
    gst_init(nullptr, nullptr);
    const std::string size = ",width=" + w + ",height=" + h + ",framerate=30/1";
    std::string source, decoded;
    if (format == "mjpeg") {
        source = "multifilesrc location=" + file + " loop=true caps=image/jpeg" + size;
        decoded = source + " ! jpegdec";
    } else {
        source = "multifilesrc location=" + file +
                 " loop=true ! rawvideoparse format=yuy2 width=" + w + " height=" + h +
                 " framerate=30/1";
        decoded = source;
    }
    const std::string converted = decoded + " ! videoconvert ! video/x-raw,format=BGR";
    const std::string scaled = converted + " ! videoscale add-borders=false ! video/x-raw" + size +
                               ",pixel-aspect-ratio=1/1";
    const double sourceMs = pipelineCost(source, seconds);
    const double decodedMs = format == "mjpeg" ? pipelineCost(decoded, seconds) : sourceMs;
    const double convertedMs = pipelineCost(converted, seconds);
    const double scaledMs = pipelineCost(scaled, seconds);
    const LoopCost copied = sourceCost(decoded, width, height, false, seconds);
    const LoopCost lent = sourceCost(decoded, width, height, true, seconds);
    std::printf(
        "%-6s %5s x %-5s  source %6.3f  decode %6.3f  convert %6.3f  scale %6.3f  "
        "appsink %6.3f  repack %6.3f  (loop: copy %6.3f, lent %6.3f; streaming: copy "
        "%6.3f, lent %6.3f) ms/frame\n",
        format.c_str(), w.c_str(), h.c_str(), sourceMs, decodedMs - sourceMs,
        convertedMs - decodedMs, scaledMs - convertedMs, lent.streaming - scaledMs,
        copied.frameLoop - lent.frameLoop, copied.frameLoop, lent.frameLoop, copied.streaming,
        lent.streaming);
    return 0;
}
