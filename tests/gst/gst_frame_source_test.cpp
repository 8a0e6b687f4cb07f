#include "gst/gst_frame_source.hpp"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "gst/gst_test_support.hpp"

namespace tavlomi {
namespace {

using namespace gst_testing;
using namespace std::chrono_literals;
using Bgr = std::vector<int>;

// Pixel (x, y) of the picture, top row first, from a bottom-up BGR frame.
Bgr pictureAt(const Frame& frame, int width, int height, int x, int y) {
    const std::size_t at = 3 * (static_cast<std::size_t>(height - 1 - y) * width + x);
    return {frame[at], frame[at + 1], frame[at + 2]};
}

std::unique_ptr<GstFrameSource> open(const std::string& description, int width, int height) {
    std::string error;
    auto source = GstFrameSource::openLaunchSource(description, width, height, error);
    EXPECT_NE(source, nullptr) << error;
    return source;
}

// Runs a gst-launch description that ends in a filesink; false when it does not finish.
bool writeFile(const std::string& description) {
    ensureGst();
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (pipeline == nullptr) return false;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 30 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool written = message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message != nullptr) gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return written;
}

// A scratch directory for the test's files, removed with everything in it.
struct TempDir {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("tavlomi-gst-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

TEST(GstFrameSource, FrameIsBottomUpUnpaddedAndMatchesAnIndependentRendering) {
    // BGR rows of 322, 3 and 641 pixels are padded by GStreamer with 2, 3 and 1 bytes.
    for (auto [width, height] : {std::pair{322, 240}, {3, 2}, {641, 3}}) {
        auto source = open("videotestsrc pattern=smpte", width, height);
        ASSERT_NE(source, nullptr);
        const Frame frame = waitForFrame(*source, width, height);
        const Frame reference = renderBgrx("videotestsrc pattern=smpte", width, height);
        ASSERT_EQ(frame.size(), 3u * width * height);
        ASSERT_FALSE(reference.empty());
        int mismatches = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t at = 4 * (static_cast<std::size_t>(y) * width + x);
                mismatches += pictureAt(frame, width, height, x, y) !=
                              Bgr{reference[at], reference[at + 1], reference[at + 2]};
            }
        }
        EXPECT_EQ(mismatches, 0) << width << "x" << height;
    }
    // The SMPTE picture's upper part is seven bars, white at the left, green in the middle and
    // blue at the right; 4:3 squeezed into a wide strip it still fills the strip, corners too.
    auto source = open("videotestsrc pattern=smpte", 322, 240);
    ASSERT_NE(source, nullptr);
    const Frame bars = waitForFrame(*source, 322, 240);
    ASSERT_FALSE(bars.empty());
    EXPECT_EQ(pictureAt(bars, 322, 240, 0, 0), (Bgr{255, 255, 255}));
    EXPECT_EQ(pictureAt(bars, 322, 240, 161, 0), (Bgr{0, 255, 0}));
    EXPECT_EQ(pictureAt(bars, 322, 240, 321, 0), (Bgr{255, 0, 0}));
    EXPECT_NE(pictureAt(bars, 322, 240, 0, 239), (Bgr{255, 255, 255}));
    source = open("videotestsrc pattern=smpte ! capsfilter caps=video/x-raw,width=640,height=480",
                  161, 20);
    ASSERT_NE(source, nullptr);
    const Frame strip = waitForFrame(*source, 161, 20);
    ASSERT_FALSE(strip.empty());
    EXPECT_EQ(pictureAt(strip, 161, 20, 0, 0), (Bgr{255, 255, 255}));
    EXPECT_EQ(pictureAt(strip, 161, 20, 160, 0), (Bgr{255, 0, 0}));
    EXPECT_NE(pictureAt(strip, 161, 20, 0, 19), (Bgr{0, 0, 0}));
}

TEST(GstFrameSource, EachFrameIsHandedOverOnceAndOnlyIntoABufferOfTheRightSize) {
    // No frame at all, and after the only frame has been taken: the buffer is left alone.
    for (auto [description, frames] : {std::pair{"videotestsrc is-live=true num-buffers=0", 0},
                                       {"videotestsrc num-buffers=1 pattern=white", 1}}) {
        auto source = open(description, 5, 3);
        ASSERT_NE(source, nullptr);
        if (frames == 1) {
            EXPECT_EQ(waitForFrame(*source, 5, 3), filled(255, 5, 3));
        }
        Frame frame = filled(7, 5, 3);
        for (int call = 0; call < 50; ++call) {
            EXPECT_FALSE(source->copyNewestFrame(frame)) << description;
            std::this_thread::sleep_for(2ms);
        }
        EXPECT_EQ(frame, filled(7, 5, 3)) << description;
    }
    auto live = open("videotestsrc is-live=true pattern=ball", 33, 17);
    ASSERT_NE(live, nullptr);
    for (int frame = 0; frame < 5; ++frame)
        ASSERT_EQ(waitForFrame(*live, 33, 17).size(), 3u * 33 * 17) << frame;
    auto white = open("videotestsrc pattern=white", 4, 4);
    ASSERT_NE(white, nullptr);
    Frame tooSmall(3 * 4 * 4 - 1, 9);
    for (const auto end = Clock::now() + 300ms; Clock::now() < end;) {
        EXPECT_FALSE(white->copyNewestFrame(tooSmall));
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(tooSmall, Frame(3 * 4 * 4 - 1, 9));
}

TEST(GstFrameSource, AnErrorOrAnEndIsReportedOnceAndEndsDelivery) {
    for (const char* description :
         {"videotestsrc ! identity error-after=3", "videotestsrc is-live=true num-buffers=3"}) {
        auto source = open(description, 8, 8);
        ASSERT_NE(source, nullptr);
        ::testing::internal::CaptureStderr();
        // Frames come every 33 ms until the stop; a full second without one means it came.
        Frame frame = filled(0, 8, 8);
        const auto deadline = Clock::now() + kPatience;
        for (auto last = Clock::now(); Clock::now() < deadline && Clock::now() - last < 1s;) {
            if (source->copyNewestFrame(frame)) last = Clock::now();
            std::this_thread::sleep_for(2ms);
        }
        for (int call = 0; call < 100; ++call)
            EXPECT_FALSE(source->copyNewestFrame(frame));
        const std::string report = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(
            occurrences(report, "video source \"" + std::string(description) + "\" stopped: "), 1)
            << report;
    }
}

TEST(GstFrameSource, OpeningFailsWithASentenceNamingTheSource) {
    const TempDir dir;
    std::ofstream(dir.file("notes.txt")) << "these are not moving pictures\n";
    ASSERT_TRUE(writeFile("audiotestsrc num-buffers=5 ! wavenc ! filesink location=" +
                          dir.file("tone.wav")));
    const std::size_t cameras = listCameras().size();
    const struct {
        std::function<std::unique_ptr<GstFrameSource>(std::string&)> open;
        std::string start, contains;
    } cases[] = {
        {[](std::string& e) { return GstFrameSource::openDevice("/dev/video-gone", 320, 240, e); },
         "cannot open camera /dev/video-gone: ", ""},
        {[&](std::string& e) { return GstFrameSource::openCamera(cameras, 320, 240, e); },
         "cannot open camera " + std::to_string(cameras) + ": ", ""},
        {[&](std::string& e) {
             return GstFrameSource::openVideoFile(dir.file("missing.avi"), 320, 240, e);
         },
         "cannot open video file " + dir.file("missing.avi") + ": ", ""},
        {[&](std::string& e) {
             return GstFrameSource::openVideoFile(dir.file("notes.txt"), 320, 240, e);
         },
         "cannot open video file " + dir.file("notes.txt") + ": ", ""},
        {[&](std::string& e) {
             return GstFrameSource::openVideoFile(dir.file("tone.wav"), 320, 240, e);
         },
         "cannot open video file " + dir.file("tone.wav") + ": ", "no video stream"},
        {[](std::string& e) {
             return GstFrameSource::openLaunchSource("no-such-thing", 320, 240, e);
         },
         "cannot open source \"no-such-thing\": ", ""},
        {[](std::string& e) { return GstFrameSource::openLaunchSource("videotestsrc", 0, 240, e); },
         "", ""},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(c.open(error), nullptr) << c.start;
        EXPECT_EQ(error.rfind(c.start, 0), 0u) << error;
        EXPECT_GT(error.size(), c.start.size()) << error;
        EXPECT_NE(error.find(c.contains), std::string::npos) << error;
    }
}

TEST(GstFrameSource, VideoFilesLoopAndEndCleanly) {
    // More frames than a file holds can only come from a loop; sound alongside does not matter.
    const TempDir dir;
    const struct {
        std::string name, muxer, extra;
        int frames, width, height, wanted;
    } cases[] = {{"short.avi", "avimux", "", 10, 33, 25, 25},
                 {"sound.mkv", "matroskamux name=mux",
                  " audiotestsrc num-buffers=10 ! audioconvert ! mux.", 6, 17, 9, 15}};
    for (const auto& c : cases) {
        ASSERT_TRUE(writeFile("videotestsrc num-buffers=" + std::to_string(c.frames) +
                              " pattern=ball ! video/x-raw,width=64,height=48,framerate=30/1 ! "
                              "jpegenc ! " +
                              c.muxer + " ! filesink location=" + dir.file(c.name) + c.extra));
        std::string error;
        auto source = GstFrameSource::openVideoFile(dir.file(c.name), c.width, c.height, error);
        ASSERT_NE(source, nullptr) << error;
        int count = 0;
        Frame frame = filled(0, c.width, c.height);
        for (const auto deadline = Clock::now() + kPatience;
             count < c.wanted && Clock::now() < deadline;) {
            count += source->copyNewestFrame(frame);
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(count, c.wanted) << c.name;
    }
    // Destroyed before any frame was taken, or while streaming: both end cleanly.
    std::string error;
    EXPECT_NE(GstFrameSource::openVideoFile(dir.file("short.avi"), 320, 240, error), nullptr);
    for (const char* description :
         {"videotestsrc is-live=true", "videotestsrc", "videotestsrc pattern=snow"}) {
        auto source = open(description, 640, 480);
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(waitForFrame(*source, 640, 480).size(), 3u * 640 * 480) << description;
    }
}

}  // namespace
}  // namespace tavlomi
