#pragma once

// What the tests of the GStreamer edge share: polling a source for frames, GStreamer's own
// rendering of a picture to compare with, and a clean end for GStreamer's idle threads.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "gst/gst_frame_source.hpp"

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

// Polls, calling feed before each try, until a frame arrives; empty when none came in time.
inline Frame waitForFrame(
    GstFrameSource& source, int width, int height, const std::function<void()>& feed = [] {}) {
    Frame frame = filled(0, width, height);
    for (const auto deadline = Clock::now() + kPatience; Clock::now() < deadline;) {
        feed();
        if (source.copyNewestFrame(frame)) return frame;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return {};
}

inline int occurrences(const std::string& haystack, const std::string& text) {
    int count = 0;
    for (auto at = haystack.find(text); at != std::string::npos; at = haystack.find(text, at + 1))
        ++count;
    return count;
}

// The first frame of a gst-launch description as GStreamer renders it in BGRx, whose rows are
// never padded, top row first; empty when it cannot.
inline Frame renderBgrx(const std::string& description, int width, int height) {
    ensureGst();
    const std::string launch =
        description + " ! videoconvert ! video/x-raw,format=BGRx,width=" + std::to_string(width) +
        ",height=" + std::to_string(height) + " ! appsink name=sink";
    Frame bytes;
    GstElement* pipeline = gst_parse_launch(launch.c_str(), nullptr);
    if (pipeline == nullptr) return bytes;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND)) {
        GstMapInfo map;
        if (gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ)) {
            bytes.assign(map.data, map.data + map.size);
            gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    if (bytes.size() != 4 * static_cast<std::size_t>(width) * height) bytes.clear();
    return bytes;
}

// GStreamer keeps idle streaming threads in GLib's pools for the life of the process; the leak
// checker cannot read the thread-local storage plugins left on them and dies at exit. Ending
// them after the last test leaves it only the main thread to look at.
class IdleThreadsEnded : public ::testing::Environment {
  public:
    void TearDown() override {
        if (!gst_is_initialized()) return;
        gst_task_cleanup_all();
        g_thread_pool_set_max_unused_threads(0);
        g_thread_pool_stop_unused_threads();
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (threads() > 1 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

  private:
    static std::ptrdiff_t threads() {
        std::error_code error;
        const std::filesystem::directory_iterator tasks("/proc/self/task", error);
        return error ? 1 : std::distance(tasks, std::filesystem::directory_iterator());
    }
};
inline const ::testing::Environment* const kIdleThreadsEnded =
    ::testing::AddGlobalTestEnvironment(new IdleThreadsEnded);

}  // namespace tavlomi::gst_testing
