#pragma once

// What the tests of the GStreamer edge share: polling a source for frames, independent pipelines
// that make files and reference pictures, and a clean end for GStreamer's idle threads.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "gst/gst_frame_source.hpp"
#include "gst/gst_ref.hpp"

namespace tavlomi::gst_testing {

using Clock = std::chrono::steady_clock;
using Frame = std::vector<std::uint8_t>;

// Makes a broken pipeline fail the test instead of hanging it; frames come within milliseconds.
inline constexpr auto kPatience = std::chrono::seconds(15);

inline Frame filled(std::uint8_t v, int width, int height) {
    return Frame(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), v);
}

inline void ensureGst() {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
}

// Calls attempt every 2 ms until it returns true (then true) or patience runs out (then false).
inline bool pollUntil(const std::function<bool()>& attempt, Clock::duration patience = kPatience) {
    for (const auto deadline = Clock::now() + patience; Clock::now() < deadline;) {
        if (attempt()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// Polls, calling feed before each try, until a frame arrives; empty when none came in time.
inline Frame waitForFrame(
    GstFrameSource& source, int width, int height, const std::function<void()>& feed = [] {}) {
    Frame frame = filled(0, width, height);
    const bool came = pollUntil([&] {
        feed();
        return source.copyNewestFrame(frame);
    });
    return came ? frame : Frame{};
}

// How many of the width x height pictures' rows differ between a and b.
inline int differingRows(const FrameView& a, const FrameView& b, int width, int height) {
    int differing = 0;
    for (int y = 0; y < height; ++y) {
        differing += std::memcmp(a.pictureRow(y, height), b.pictureRow(y, height),
                                 3 * static_cast<std::size_t>(width)) != 0;
    }
    return differing;
}

// Runs gst-launch-1.0 on a description to its end; false when it fails.
inline bool gstLaunch(const std::string& description) {
    return std::system(("gst-launch-1.0 -q " + description + " >/dev/null 2>&1").c_str()) == 0;
}

struct Pulled {
    int width = 0;
    int height = 0;
    std::vector<Frame> frames;  // whole buffers: BGR rows are padded to four bytes, BGRx never
    bool ended = false;         // the stream reached its end without an error
};

// Runs a description that ends in "appsink name=sink" until it ends, or until maxFrames came.
inline Pulled pullFrames(const std::string& description, std::size_t maxFrames = SIZE_MAX) {
    ensureGst();
    Pulled pulled;
    const GstRef<GstElement> pipeline{gst_parse_launch(description.c_str(), nullptr)};
    if (!pipeline) return pulled;
    const GstRef<GstElement> sink{gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink")};
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    while (pulled.frames.size() < maxFrames) {
        const SampleRef sample{
            gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 20 * GST_SECOND)};
        if (!sample) break;
        GstVideoInfo info;
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()));
        pulled.width = GST_VIDEO_INFO_WIDTH(&info);
        pulled.height = GST_VIDEO_INFO_HEIGHT(&info);
        GstMapInfo map;
        gst_buffer_map(gst_sample_get_buffer(sample.get()), &map, GST_MAP_READ);
        pulled.frames.emplace_back(map.data, map.data + map.size);
        gst_buffer_unmap(gst_sample_get_buffer(sample.get()), &map);
    }
    pulled.ended = gst_app_sink_is_eos(GST_APP_SINK(sink.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return pulled;
}

// GStreamer keeps idle streaming threads in GLib's pools for the life of the process; the leak
// checker cannot read the thread-local storage plugins left on them and dies at exit. Ending
// them after the last test leaves it only the main thread to look at.
struct IdleThreadsEnded : ::testing::Environment {
    void TearDown() override {
        if (!gst_is_initialized()) return;
        gst_task_cleanup_all();
        g_thread_pool_set_max_unused_threads(0);
        g_thread_pool_stop_unused_threads();
        const auto onlyMain = [] {
            std::error_code error;
            const std::filesystem::directory_iterator tasks("/proc/self/task", error);
            return error || std::distance(tasks, std::filesystem::directory_iterator()) <= 1;
        };
        pollUntil(onlyMain, std::chrono::seconds(2));
    }
};
inline const ::testing::Environment* const kIdleThreadsEnded =
    ::testing::AddGlobalTestEnvironment(new IdleThreadsEnded);

}  // namespace tavlomi::gst_testing
