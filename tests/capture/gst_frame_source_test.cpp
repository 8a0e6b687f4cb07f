#include "capture/gst_frame_source.hpp"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>
#include <vector>

namespace tavlomi {
namespace {

using Clock = std::chrono::steady_clock;
using Bgr = std::array<std::uint8_t, 3>;

// A safety bound so that a broken pipeline fails the test instead of hanging it; frames of the
// sources used here arrive within milliseconds.
constexpr auto kPatience = std::chrono::seconds(15);

std::size_t frameBytes(int width, int height) {
    return 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

// Polls until a frame arrives; empty when none came within kPatience.
std::vector<std::uint8_t> waitForFrame(GstFrameSource& source, int width, int height) {
    std::vector<std::uint8_t> frame(frameBytes(width, height), 0);
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        if (source.copyNewestFrame(frame)) return frame;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return {};
}

Bgr framePixel(const std::vector<std::uint8_t>& frame, int width, int bufferRow, int column) {
    const std::size_t offset = 3 * (static_cast<std::size_t>(bufferRow) * width + column);
    return {frame[offset], frame[offset + 1], frame[offset + 2]};
}

// The same test picture rendered by an independent pipeline as BGRx, whose rows of 4 * width
// bytes are never padded; indexed top-down as GStreamer delivers it.
class ReferencePicture {
  public:
    ReferencePicture(const std::string& pattern, int width, int height) : width_(width) {
        if (!gst_is_initialized()) gst_init(nullptr, nullptr);
        const std::string launch = "videotestsrc num-buffers=1 pattern=" + pattern +
                                   " ! video/x-raw,format=BGRx,width=" + std::to_string(width) +
                                   ",height=" + std::to_string(height) + " ! appsink name=sink";
        GstElement* pipeline = gst_parse_launch(launch.c_str(), nullptr);
        if (pipeline == nullptr) return;
        GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        if (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            GstMapInfo map;
            if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                bytes_.assign(map.data, map.data + map.size);
                gst_buffer_unmap(buffer, &map);
            }
            gst_sample_unref(sample);
        }
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(sink);
        gst_object_unref(pipeline);
        if (bytes_.size() != 4 * static_cast<std::size_t>(width) * height) bytes_.clear();
    }

    bool valid() const { return !bytes_.empty(); }
    Bgr at(int x, int y) const {
        const std::size_t offset = 4 * (static_cast<std::size_t>(y) * width_ + x);
        return {bytes_[offset], bytes_[offset + 1], bytes_[offset + 2]};
    }

  private:
    int width_;
    std::vector<std::uint8_t> bytes_;
};

// Writes a short video file by running a gst-launch description that ends in filesink.
bool writeVideoFile(const std::string& description) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
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

class TempDir {
  public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("tavlomi-gst-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

struct Size {
    int width;
    int height;
};

class GstOrientation : public ::testing::TestWithParam<Size> {};

// 322 * 3 = 966 is not a multiple of 4, so GStreamer pads each BGR row with two bytes; 3 x 2 and
// 641 x 3 pad by three and one.
INSTANTIATE_TEST_SUITE_P(OddRowLengths, GstOrientation,
                         ::testing::Values(Size{322, 240}, Size{3, 2}, Size{641, 3}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST_P(GstOrientation, FrameIsBottomUpUnpaddedAndMatchesAnIndependentRendering) {
    const auto [width, height] = GetParam();
    std::string error;
    auto source =
        GstFrameSource::openLaunchSource("videotestsrc pattern=smpte", width, height, error);
    ASSERT_NE(source, nullptr) << error;
    const std::vector<std::uint8_t> frame = waitForFrame(*source, width, height);
    ASSERT_EQ(frame.size(), frameBytes(width, height));

    const ReferencePicture reference("smpte", width, height);
    ASSERT_TRUE(reference.valid());
    int mismatches = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (framePixel(frame, width, height - 1 - y, x) != reference.at(x, y) &&
                ++mismatches <= 5) {
                ADD_FAILURE() << "picture pixel " << x << "," << y << " differs";
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(GstOrientation, SmpteBarsLandWhereTheyBelong) {
    // The upper part of the SMPTE picture is seven bars, white at the left, green in the middle
    // and blue at the right; its bottom-left corner is not white.
    const int width = 322, height = 240;
    std::string error;
    auto source =
        GstFrameSource::openLaunchSource("videotestsrc pattern=smpte", width, height, error);
    ASSERT_NE(source, nullptr) << error;
    const std::vector<std::uint8_t> frame = waitForFrame(*source, width, height);
    ASSERT_EQ(frame.size(), frameBytes(width, height));
    const int topRow = height - 1;
    EXPECT_EQ(framePixel(frame, width, topRow, 0), (Bgr{255, 255, 255}));
    EXPECT_EQ(framePixel(frame, width, topRow, width / 2), (Bgr{0, 255, 0}));
    EXPECT_EQ(framePixel(frame, width, topRow, width - 1), (Bgr{255, 0, 0}));
    EXPECT_NE(framePixel(frame, width, 0, 0), (Bgr{255, 255, 255}));
}

TEST(GstOrientation, PictureOfAnotherShapeIsStretchedToFill) {
    // 4:3 squeezed into a wide strip: with borders the corners would be black.
    const int width = 161, height = 20;
    std::string error;
    auto source = GstFrameSource::openLaunchSource(
        "videotestsrc pattern=smpte ! capsfilter caps=video/x-raw,width=640,height=480", width,
        height, error);
    ASSERT_NE(source, nullptr) << error;
    const std::vector<std::uint8_t> frame = waitForFrame(*source, width, height);
    ASSERT_EQ(frame.size(), frameBytes(width, height));
    EXPECT_EQ(framePixel(frame, width, height - 1, 0), (Bgr{255, 255, 255}));
    EXPECT_EQ(framePixel(frame, width, height - 1, width - 1), (Bgr{255, 0, 0}));
    EXPECT_NE(framePixel(frame, width, 0, 0), (Bgr{0, 0, 0}));
}

TEST(GstDelivery, NoFrameLeavesTheBufferUntouched) {
    std::string error;
    auto source =
        GstFrameSource::openLaunchSource("videotestsrc is-live=true num-buffers=0", 8, 6, error);
    ASSERT_NE(source, nullptr) << error;
    std::vector<std::uint8_t> frame(frameBytes(8, 6), 0xAB);
    for (int call = 0; call < 50; ++call) {
        EXPECT_FALSE(source->copyNewestFrame(frame));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(frame, std::vector<std::uint8_t>(frameBytes(8, 6), 0xAB));
}

TEST(GstDelivery, EachFrameIsHandedOverOnce) {
    // One frame only: after it has been taken, nothing new arrives.
    std::string error;
    auto source =
        GstFrameSource::openLaunchSource("videotestsrc num-buffers=1 pattern=white", 5, 3, error);
    ASSERT_NE(source, nullptr) << error;
    std::vector<std::uint8_t> frame = waitForFrame(*source, 5, 3);
    ASSERT_EQ(frame.size(), frameBytes(5, 3));
    EXPECT_EQ(frame, std::vector<std::uint8_t>(frameBytes(5, 3), 255));
    std::fill(frame.begin(), frame.end(), 7);
    for (int call = 0; call < 20; ++call)
        EXPECT_FALSE(source->copyNewestFrame(frame));
    EXPECT_EQ(frame, std::vector<std::uint8_t>(frameBytes(5, 3), 7));
}

TEST(GstDelivery, LiveFramesKeepComing) {
    std::string error;
    auto source =
        GstFrameSource::openLaunchSource("videotestsrc is-live=true pattern=ball", 33, 17, error);
    ASSERT_NE(source, nullptr) << error;
    for (int frame = 0; frame < 5; ++frame) {
        ASSERT_EQ(waitForFrame(*source, 33, 17).size(), frameBytes(33, 17)) << frame;
    }
}

TEST(GstDelivery, WrongBufferSizeIsRefused) {
    std::string error;
    auto source = GstFrameSource::openLaunchSource("videotestsrc pattern=white", 4, 4, error);
    ASSERT_NE(source, nullptr) << error;
    std::vector<std::uint8_t> tooSmall(frameBytes(4, 4) - 1, 9);
    const auto deadline = Clock::now() + std::chrono::milliseconds(300);
    while (Clock::now() < deadline) {
        EXPECT_FALSE(source->copyNewestFrame(tooSmall));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(tooSmall, std::vector<std::uint8_t>(frameBytes(4, 4) - 1, 9));
}

TEST(GstDelivery, StreamErrorIsReportedOnceAndEndsDelivery) {
    std::string error;
    auto source =
        GstFrameSource::openLaunchSource("videotestsrc ! identity error-after=3", 8, 8, error);
    ASSERT_NE(source, nullptr) << error;
    ::testing::internal::CaptureStderr();
    // Frames come every 33 ms until the error; a full second without one means it has stopped.
    std::vector<std::uint8_t> frame(frameBytes(8, 8));
    const auto deadline = Clock::now() + kPatience;
    auto lastFrame = Clock::now();
    while (Clock::now() < deadline && Clock::now() - lastFrame < std::chrono::seconds(1)) {
        if (source->copyNewestFrame(frame)) lastFrame = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (int call = 0; call < 100; ++call)
        EXPECT_FALSE(source->copyNewestFrame(frame));
    const std::string report = ::testing::internal::GetCapturedStderr();
    const std::string needle = "video source \"videotestsrc ! identity error-after=3\" stopped: ";
    const std::size_t first = report.find(needle);
    ASSERT_NE(first, std::string::npos) << report;
    EXPECT_EQ(report.find(needle, first + 1), std::string::npos) << report;
}

TEST(GstOpening, MissingDeviceFailsNamingIt) {
    std::string error;
    auto source = GstFrameSource::openDevice("/dev/video-does-not-exist", 320, 240, error);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(error.rfind("cannot open camera /dev/video-does-not-exist: ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("cannot open camera /dev/video-does-not-exist: ").size());
}

TEST(GstOpening, CameraIndexBeyondTheListFails) {
    const std::vector<CameraDevice> cameras = listCameras();
    for (const CameraDevice& camera : cameras)
        EXPECT_FALSE(camera.name.empty());
    std::string error;
    auto source = GstFrameSource::openCamera(cameras.size(), 320, 240, error);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(error.rfind("cannot open camera " + std::to_string(cameras.size()) + ": ", 0), 0u)
        << error;
}

TEST(GstOpening, MissingVideoFileFailsNamingIt) {
    const TempDir dir;
    const std::string path = dir.file("missing.avi");
    std::string error;
    auto source = GstFrameSource::openVideoFile(path, 320, 240, error);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(error.rfind("cannot open video file " + path + ": ", 0), 0u) << error;
}

TEST(GstOpening, FileThatIsNoVideoFailsNamingIt) {
    const TempDir dir;
    const std::string path = dir.file("notes.txt");
    std::ofstream(path) << "these are not moving pictures\n";
    std::string error;
    auto source = GstFrameSource::openVideoFile(path, 320, 240, error);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(error.rfind("cannot open video file " + path + ": ", 0), 0u) << error;
}

TEST(GstOpening, AudioOnlyFileFailsNamingIt) {
    const TempDir dir;
    const std::string path = dir.file("tone.wav");
    ASSERT_TRUE(writeVideoFile("audiotestsrc num-buffers=5 ! wavenc ! filesink location=" + path));
    std::string error;
    auto source = GstFrameSource::openVideoFile(path, 320, 240, error);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(error.rfind("cannot open video file " + path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find("no video stream"), std::string::npos) << error;
}

TEST(GstOpening, BadLaunchDescriptionFails) {
    std::string error;
    auto source = GstFrameSource::openLaunchSource("no-such-element-anywhere", 320, 240, error);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(error.rfind("cannot open source \"no-such-element-anywhere\": ", 0), 0u) << error;
}

TEST(GstOpening, NonPositiveSizeFails) {
    std::string error;
    EXPECT_EQ(GstFrameSource::openLaunchSource("videotestsrc", 0, 240, error), nullptr);
    EXPECT_FALSE(error.empty());
}

// Counts frames until more have arrived than the file holds, which only a loop can give.
int countFramesUpTo(GstFrameSource& source, int wanted, int width, int height) {
    std::vector<std::uint8_t> frame(frameBytes(width, height));
    int count = 0;
    const auto deadline = Clock::now() + kPatience;
    while (count < wanted && Clock::now() < deadline) {
        if (source.copyNewestFrame(frame)) ++count;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return count;
}

TEST(GstVideoFile, ShortFileLoops) {
    const TempDir dir;
    const std::string path = dir.file("short.avi");
    ASSERT_TRUE(writeVideoFile(
        "videotestsrc num-buffers=10 pattern=ball ! video/x-raw,width=64,height=48,framerate=30/1"
        " ! jpegenc ! avimux ! filesink location=" +
        path));
    std::string error;
    auto source = GstFrameSource::openVideoFile(path, 33, 25, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(countFramesUpTo(*source, 25, 33, 25), 25);
}

TEST(GstVideoFile, FileWithSoundLoops) {
    const TempDir dir;
    const std::string path = dir.file("sound.mkv");
    ASSERT_TRUE(writeVideoFile(
        "videotestsrc num-buffers=6 ! video/x-raw,width=40,height=30,framerate=30/1 ! jpegenc"
        " ! matroskamux name=mux ! filesink location=" +
        path + " audiotestsrc num-buffers=10 ! audioconvert ! mux."));
    std::string error;
    auto source = GstFrameSource::openVideoFile(path, 17, 9, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(countFramesUpTo(*source, 15, 17, 9), 15);
}

TEST(GstLifetime, DestroyingWhileStreamingEndsCleanly) {
    for (const char* description :
         {"videotestsrc is-live=true", "videotestsrc", "videotestsrc pattern=snow"}) {
        std::string error;
        auto source = GstFrameSource::openLaunchSource(description, 640, 480, error);
        ASSERT_NE(source, nullptr) << error;
        ASSERT_EQ(waitForFrame(*source, 640, 480).size(), frameBytes(640, 480));
        source.reset();
    }
}

TEST(GstLifetime, DestroyingAFileBeforeAnyFrameEndsCleanly) {
    const TempDir dir;
    const std::string path = dir.file("clip.avi");
    ASSERT_TRUE(
        writeVideoFile("videotestsrc num-buffers=30 ! video/x-raw,width=64,height=48,framerate=30/1"
                       " ! jpegenc ! avimux ! filesink location=" +
                       path));
    std::string error;
    auto source = GstFrameSource::openVideoFile(path, 320, 240, error);
    ASSERT_NE(source, nullptr) << error;
    source.reset();
}

}  // namespace
}  // namespace tavlomi
