// The camera path of GstFrameSource: capture modes, raw and JPEG decoding, and the faults a real
// camera shows (errors, unplugging, stalls, ends, bursts), injected through a fake camera whose
// every plug-in is a new live appsrc handed out by the SourceMaker the way a device would be.

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include "capture/capture_source.hpp"
#include "capture/gst_frame_source.hpp"

namespace tavlomi {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A safety bound so that a broken pipeline fails the test instead of hanging it; frames of the
// sources used here arrive within milliseconds.
constexpr auto kPatience = std::chrono::seconds(15);
// Short, so that the tests see several reopen attempts quickly.
constexpr auto kRetry = std::chrono::milliseconds(50);
// The fake camera's picture size.
constexpr int kW = 64;
constexpr int kH = 48;

std::size_t frameBytes(int width, int height) {
    return 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

void ensureGst() {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
}

// Polls until a frame arrives; empty when none came within kPatience.
std::vector<std::uint8_t> waitForFrame(GstFrameSource& source, int width, int height) {
    std::vector<std::uint8_t> frame(frameBytes(width, height), 0);
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        if (source.copyNewestFrame(frame)) return frame;
        std::this_thread::sleep_for(2ms);
    }
    return {};
}

// A maker for a gst-launch fragment, as a device would hand out its source.
GstFrameSource::SourceMaker launchMaker(const std::string& description) {
    return [description] {
        GstFrameSource::MadeSource made;
        made.label = "test source";
        made.element = gst_parse_bin_from_description(description.c_str(), TRUE, nullptr);
        if (made.element == nullptr) made.problem = "it cannot be parsed";
        return made;
    };
}

// One frame of a gst-launch description rendered as BGRx (rows never padded), top-down.
std::vector<std::uint8_t> renderBgrx(const std::string& description, int width, int height) {
    ensureGst();
    const std::string launch =
        description + " ! videoconvert ! video/x-raw,format=BGRx,width=" + std::to_string(width) +
        ",height=" + std::to_string(height) + " ! appsink name=sink";
    std::vector<std::uint8_t> bytes;
    GstElement* pipeline = gst_parse_launch(launch.c_str(), nullptr);
    if (pipeline == nullptr) return bytes;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND)) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            bytes.assign(map.data, map.data + map.size);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    if (bytes.size() != 4 * static_cast<std::size_t>(width) * height) bytes.clear();
    return bytes;
}

// Counts the channels of a bottom-up BGR frame that differ from a top-down BGRx reference by
// more than tolerance.
int differingChannels(const std::vector<std::uint8_t>& frame,
                      const std::vector<std::uint8_t>& reference, int width, int height,
                      int tolerance) {
    int count = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t got = 3 * (static_cast<std::size_t>(height - 1 - y) * width + x);
            const std::size_t want = 4 * (static_cast<std::size_t>(y) * width + x);
            for (int c = 0; c < 3; ++c) {
                if (std::abs(frame[got + c] - reference[want + c]) > tolerance) ++count;
            }
        }
    }
    return count;
}

// GStreamer keeps idle streaming threads in GLib's pools for the life of the process; the leak
// checker cannot read the dynamic thread-local storage that plugins left on such a thread and
// dies at exit. Ending them after the last test leaves it only the main thread to look at.
class IdleThreadsEnded : public ::testing::Environment {
  public:
    void TearDown() override {
        if (!gst_is_initialized()) return;
        gst_task_cleanup_all();
        g_thread_pool_set_max_unused_threads(0);
        g_thread_pool_stop_unused_threads();
        const auto deadline = Clock::now() + 2s;
        while (threadCount() > 1 && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
    }

  private:
    static std::ptrdiff_t threadCount() {
        std::error_code error;
        const std::filesystem::directory_iterator tasks("/proc/self/task", error);
        return error ? 1 : std::distance(tasks, std::filesystem::directory_iterator());
    }
};
const ::testing::Environment* const kIdleThreadsEnded =
    ::testing::AddGlobalTestEnvironment(new IdleThreadsEnded);

CaptureMode rawMode(const char* format, int width, int height, int fps) {
    return {{"video/x-raw", format}, width, height, FrameRate{fps, 1}};
}

// ---- Formats and capture modes ----

TEST(GstCameraFormats, RawYuy2IsConvertedLikeAnyOtherRendering) {
    const int width = 160, height = 120;
    std::string error;
    auto source = GstFrameSource::openCameraSource(
        launchMaker("videotestsrc is-live=true pattern=smpte ! capsfilter caps=video/x-raw,"
                    "format=YUY2"),
        {}, width, height, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->captureMode(), rawMode("YUY2", width, height, 30));
    const std::vector<std::uint8_t> frame = waitForFrame(*source, width, height);
    ASSERT_EQ(frame.size(), frameBytes(width, height));
    const std::vector<std::uint8_t> reference = renderBgrx(
        "videotestsrc pattern=smpte ! video/x-raw,format=YUY2,width=160,height=120", width, height);
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(differingChannels(frame, reference, width, height, 2), 0);
}

TEST(GstCameraFormats, MjpegIsDecoded) {
    const int width = 160, height = 120;
    std::string error;
    auto source = GstFrameSource::openCameraSource(
        launchMaker("videotestsrc is-live=true pattern=smpte ! jpegenc"), {}, width, height, error);
    ASSERT_NE(source, nullptr) << error;
    const std::optional<CaptureMode> mode = source->captureMode();
    ASSERT_TRUE(mode.has_value());
    EXPECT_EQ(mode->format, (StreamFormat{"image/jpeg", ""}));
    EXPECT_EQ(mode->width, width);
    EXPECT_EQ(mode->height, height);
    const std::vector<std::uint8_t> frame = waitForFrame(*source, width, height);
    ASSERT_EQ(frame.size(), frameBytes(width, height));
    // The same picture through GStreamer's own encoder and decoder, read at the middle of each
    // of the seven upper bars (JPEG blurs the edges between them).
    const std::vector<std::uint8_t> reference = renderBgrx(
        "videotestsrc pattern=smpte ! video/x-raw,width=160,height=120 ! jpegenc ! jpegdec", width,
        height);
    ASSERT_FALSE(reference.empty());
    const int y = height / 4;
    for (int bar = 0; bar < 7; ++bar) {
        const int x = (2 * bar + 1) * width / 14;
        const std::size_t got = 3 * (static_cast<std::size_t>(height - 1 - y) * width + x);
        const std::size_t want = 4 * (static_cast<std::size_t>(y) * width + x);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(frame[got + c], reference[want + c], 4)
                << "bar " << bar << " channel " << c;
        }
    }
}

TEST(GstCameraFormats, ModeNearestTheGridIsAskedFor) {
    std::string error;
    auto source = GstFrameSource::openCameraSource(
        launchMaker("videotestsrc is-live=true ! capsfilter caps=\"video/x-raw,format=YUY2,"
                    "width=640,height=480,framerate=30/1; video/x-raw,format=YUY2,width=320,"
                    "height=240,framerate=30/1; video/x-raw,format=YUY2,width=1280,height=720,"
                    "framerate=10/1\""),
        {}, 300, 220, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->captureMode(), rawMode("YUY2", 320, 240, 30));
    EXPECT_EQ(waitForFrame(*source, 300, 220).size(), frameBytes(300, 220));
}

TEST(GstCameraFormats, JpegSizeNearestTheGridIsAskedFor) {
    std::string error;
    auto source = GstFrameSource::openCameraSource(
        launchMaker("videotestsrc is-live=true ! jpegenc ! capsfilter caps=\"image/jpeg,"
                    "width=640,height=480,framerate=30/1; image/jpeg,width=176,height=144,"
                    "framerate=30/1\""),
        {}, 160, 120, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->captureMode(), (CaptureMode{{"image/jpeg", ""}, 176, 144, FrameRate{30, 1}}));
    EXPECT_EQ(waitForFrame(*source, 160, 120).size(), frameBytes(160, 120));
}

TEST(GstCameraFormats, MakerProblemIsTheOpeningError) {
    std::string error;
    auto source = GstFrameSource::openCameraSource(
        [] {
            GstFrameSource::MadeSource made;
            made.label = "/dev/video5";
            made.problem = "it is busy";
            return made;
        },
        {}, 32, 24, error);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(error, "cannot open camera /dev/video5: it is busy");
}

// ---- Permission ----

// Runs body on a thread of its own whose file access is that of an ordinary user even when the
// tests run as root (the file-system uid is per thread). Skips when that cannot be arranged.
template <class Body>
void asOrdinaryUser(const std::string& probePath, Body body) {
    ensureGst();
    bool denied = false;
    std::thread worker([&] {
        if (::geteuid() == 0) {
            ::setfsgid(65534);
            ::setfsuid(65534);
        }
        const int fd = ::open(probePath.c_str(), O_RDONLY);
        denied = fd < 0 && errno == EACCES;
        if (fd >= 0) ::close(fd);
        if (denied) body();
        if (::geteuid() == 0) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    });
    worker.join();
    if (!denied) GTEST_SKIP() << "file permissions cannot be taken away here";
}

class LockedNode {
  public:
    LockedNode() {
        path_ = (std::filesystem::temp_directory_path() /
                 ("tavlomi-locked-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                    .string();
        std::ofstream(path_) << "a camera node nobody may open";
        std::filesystem::permissions(path_, std::filesystem::perms::none);
    }
    ~LockedNode() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TEST(GstCameraPermission, LockedNodeNamesTheVideoGroup) {
    const LockedNode node;
    std::string error;
    asOrdinaryUser(node.path(), [&] {
        auto source = GstFrameSource::openDevice(node.path(), 32, 24, error);
        EXPECT_EQ(source, nullptr);
    });
    if (IsSkipped()) return;
    EXPECT_EQ(error, "cannot open camera " + node.path() + ": " + permissionDeniedText());
}

TEST(GstCameraPermission, GstreamersOwnRefusalNamesTheVideoGroup) {
    const LockedNode node;
    std::string error;
    asOrdinaryUser(node.path(), [&] {
        auto source = GstFrameSource::openCameraSource(
            launchMaker("filesrc location=" + node.path() + " ! jpegdec"), {}, 32, 24, error);
        EXPECT_EQ(source, nullptr);
    });
    if (IsSkipped()) return;
    EXPECT_EQ(error, "cannot open camera test source: " + permissionDeniedText());
}

// ---- Faults ----

// A camera the test plugs in, feeds, ends and unplugs. It sends BGR, which reaches the frame
// buffer byte for byte (rows of kW pixels need no padding), so every frame is known exactly.
// Thread-safe: reopen attempts call the maker on a background thread.
class FakeCamera {
  public:
    FakeCamera(int width, int height) : width_(width), height_(height) { ensureGst(); }
    ~FakeCamera() {
        if (source_ != nullptr) gst_object_unref(source_);
    }
    FakeCamera(const FakeCamera&) = delete;
    FakeCamera& operator=(const FakeCamera&) = delete;

    GstFrameSource::SourceMaker maker() {
        return [this] { return make(); };
    }
    GstFrameSource::Recovery recovery() { return {maker(), kRetry, std::chrono::seconds(5)}; }

    void plugIn() {
        const std::lock_guard<std::mutex> lock(mutex_);
        present_ = true;
    }
    // What v4l2src does when its device goes away: an error on the bus.
    void unplug() {
        const std::lock_guard<std::mutex> lock(mutex_);
        present_ = false;
        if (source_ == nullptr) return;
        GError* gerror = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                             "the camera was unplugged");
        gst_element_post_message(GST_ELEMENT(source_),
                                 gst_message_new_error(GST_OBJECT(source_), gerror, nullptr));
        g_error_free(gerror);
    }
    void endStream() {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (source_ != nullptr) gst_app_src_end_of_stream(source_);
    }
    // A grey frame, every byte v, into the newest source; at is its timestamp, or none.
    bool push(std::uint8_t v, std::optional<GstClockTime> at = std::nullopt) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return pushLocked(v, at);
    }
    int made() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return made_;
    }
    int attempts() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return attempts_;
    }

    // Each plug-in starts with this frame, as a camera delivers as soon as it streams.
    static constexpr std::uint8_t kGreeting = 240;

  private:
    bool pushLocked(std::uint8_t v, std::optional<GstClockTime> at = std::nullopt) {
        if (source_ == nullptr) return false;
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, frameBytes(width_, height_), nullptr);
        gst_buffer_memset(buffer, 0, v, frameBytes(width_, height_));
        if (at) GST_BUFFER_PTS(buffer) = *at;
        return gst_app_src_push_buffer(source_, buffer) == GST_FLOW_OK;
    }

    GstFrameSource::MadeSource make() {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++attempts_;
        GstFrameSource::MadeSource made;
        made.label = "fake camera";
        if (!present_) {
            made.problem = "it is not plugged in";
            return made;
        }
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width",
                                            G_TYPE_INT, width_, "height", G_TYPE_INT, height_,
                                            "framerate", GST_TYPE_FRACTION, 30, 1, nullptr);
        GstElement* element = gst_element_factory_make("appsrc", nullptr);
        g_object_set(element, "caps", caps, "is-live", TRUE, "format", GST_FORMAT_TIME,
                     "do-timestamp", TRUE, nullptr);
        if (source_ != nullptr) gst_object_unref(source_);
        source_ = GST_APP_SRC(gst_object_ref(element));
        pushLocked(kGreeting);
        made.element = element;
        made.offered = caps;
        ++made_;
        return made;
    }

    int width_;
    int height_;
    mutable std::mutex mutex_;
    bool present_ = true;
    GstAppSrc* source_ = nullptr;  // the newest source made, whatever became of it
    int made_ = 0;
    int attempts_ = 0;
};

// How many times text occurs in haystack.
int occurrences(const std::string& haystack, const std::string& text) {
    int count = 0;
    for (std::size_t at = haystack.find(text); at != std::string::npos;
         at = haystack.find(text, at + 1)) {
        ++count;
    }
    return count;
}

// Feeds frames of v and polls until a frame arrives; empty after kPatience.
std::vector<std::uint8_t> feedUntilFrame(FakeCamera& camera, GstFrameSource& source, std::uint8_t v,
                                         int width, int height) {
    std::vector<std::uint8_t> frame(frameBytes(width, height), 0);
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        camera.push(v);
        if (source.copyNewestFrame(frame)) return frame;
        std::this_thread::sleep_for(5ms);
    }
    return {};
}

// Takes frames until none has come for a while, so that what follows starts from a quiet source.
void takeLeftovers(GstFrameSource& source, int width, int height) {
    std::vector<std::uint8_t> frame(frameBytes(width, height));
    auto quietSince = Clock::now();
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() - quietSince < 200ms && Clock::now() < deadline) {
        if (source.copyNewestFrame(frame)) quietSince = Clock::now();
        std::this_thread::sleep_for(2ms);
    }
}

// Calls copyNewestFrame for about duration; every call must give nothing. Returns the longest
// single call.
Clock::duration pollNothingFor(GstFrameSource& source, std::vector<std::uint8_t>& frame,
                               Clock::duration duration) {
    Clock::duration longest{};
    const auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        const auto before = Clock::now();
        EXPECT_FALSE(source.copyNewestFrame(frame));
        longest = std::max(longest, Clock::now() - before);
        std::this_thread::sleep_for(2ms);
    }
    return longest;
}

std::vector<std::uint8_t> filled(std::uint8_t v) {
    return std::vector<std::uint8_t>(frameBytes(kW, kH), v);
}

// An open fake camera that has delivered, with its leftovers taken.
std::unique_ptr<GstFrameSource> openQuiet(FakeCamera& camera) {
    std::string error;
    auto source =
        GstFrameSource::openCameraSource(camera.maker(), camera.recovery(), kW, kH, error);
    EXPECT_NE(source, nullptr) << error;
    if (!source) return nullptr;
    EXPECT_FALSE(feedUntilFrame(camera, *source, 50, kW, kH).empty());
    takeLeftovers(*source, kW, kH);
    return source;
}

const std::string kLost = "camera fake camera was lost: ";

TEST(GstCameraFaults, OffersItsModeAndDelivers) {
    FakeCamera camera(kW, kH);
    std::string error;
    auto source =
        GstFrameSource::openCameraSource(camera.maker(), camera.recovery(), kW, kH, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->captureMode(), rawMode("BGR", kW, kH, 30));
    // The frame the camera sent while opening is handed out first.
    std::vector<std::uint8_t> frame(frameBytes(kW, kH));
    EXPECT_TRUE(source->copyNewestFrame(frame));
    EXPECT_EQ(frame, filled(FakeCamera::kGreeting));
    EXPECT_EQ(feedUntilFrame(camera, *source, 123, kW, kH), filled(123));
}

TEST(GstCameraFaults, UnpluggedCameraIsReportedOnceAndResumesWhenBack) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);

    ::testing::internal::CaptureStderr();
    camera.unplug();
    std::vector<std::uint8_t> frame = filled(7);
    const auto start = Clock::now();
    pollNothingFor(*source, frame, 600ms);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(source->captureMode(), std::nullopt);
    EXPECT_EQ(frame, filled(7));
    // Attempts came, but never faster than one a retry interval.
    const int attempts = camera.attempts() - 1;
    EXPECT_GE(attempts, 1);
    EXPECT_LE(attempts, elapsed / kRetry + 1);
    EXPECT_EQ(camera.made(), 1);

    camera.plugIn();
    const std::vector<std::uint8_t> back = feedUntilFrame(camera, *source, 200, kW, kH);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(back == filled(FakeCamera::kGreeting) || back == filled(200));
    EXPECT_EQ(camera.made(), 2);
    EXPECT_EQ(source->captureMode(), rawMode("BGR", kW, kH, 30));
    EXPECT_EQ(feedUntilFrame(camera, *source, 201, kW, kH), filled(201));
    EXPECT_EQ(occurrences(report, kLost + "the camera was unplugged; the picture stays still "
                                          "until a camera is back\n"),
              1)
        << report;
    EXPECT_EQ(occurrences(report, "camera fake camera is back\n"), 1) << report;
}

TEST(GstCameraFaults, LostAgainAfterComingBackIsRecoveredAgain) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);
    ::testing::internal::CaptureStderr();
    for (int round = 1; round <= 3; ++round) {
        camera.unplug();
        camera.plugIn();
        ASSERT_FALSE(feedUntilFrame(camera, *source, 100, kW, kH).empty()) << round;
        EXPECT_EQ(camera.made(), 1 + round);
        takeLeftovers(*source, kW, kH);
    }
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(report, kLost), 3) << report;
    EXPECT_EQ(occurrences(report, "camera fake camera is back\n"), 3) << report;
}

TEST(GstCameraFaults, PictureFreezesOnTheLastFrameWhileLost) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);
    CaptureSource capture(kW, kH, *source);
    const auto deadline = Clock::now() + kPatience;
    while (capture.getRgbGrid()[0].r != 90 && Clock::now() < deadline) {
        camera.push(90);
        capture.grabFrame();
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(capture.getRgbGrid()[0].r, 90);
    takeLeftovers(*source, kW, kH);
    capture.grabFrame();
    const LumaGrid before = capture.getLumaGrid();

    ::testing::internal::CaptureStderr();
    camera.unplug();
    for (int call = 0; call < 100; ++call) {
        camera.push(20);
        capture.grabFrame();
        std::this_thread::sleep_for(2ms);
    }
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(capture.getLumaGrid(), before);
    EXPECT_EQ(capture.getRgbGrid()[kW * kH - 1].g, 90);
}

TEST(GstCameraFaults, StalledCameraNeverBlocksAndIsNotReopened) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);

    ::testing::internal::CaptureStderr();
    std::vector<std::uint8_t> frame = filled(7);
    const Clock::duration longest = pollNothingFor(*source, frame, 1500ms);
    // Calls that waited for the camera would last as long as the stall; these stay far shorter
    // even on a loaded machine.
    EXPECT_LT(longest, 250ms);
    EXPECT_EQ(frame, filled(7));
    EXPECT_EQ(feedUntilFrame(camera, *source, 210, kW, kH), filled(210));
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(report, kLost), 0) << report;
    EXPECT_EQ(camera.made(), 1);
}

TEST(GstCameraFaults, EndOfStreamIsReportedOnceWhileNoCameraComesBack) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);

    ::testing::internal::CaptureStderr();
    camera.unplug();
    camera.endStream();
    std::vector<std::uint8_t> frame = filled(7);
    pollNothingFor(*source, frame, 500ms);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(report, kLost), 1) << report;
    EXPECT_GE(camera.attempts(), 3);
    EXPECT_EQ(camera.made(), 1);
}

TEST(GstCameraFaults, EndWithoutErrorCountsAsLost) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);
    ::testing::internal::CaptureStderr();
    camera.endStream();
    ASSERT_FALSE(feedUntilFrame(camera, *source, 100, kW, kH).empty());
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(report, kLost + "the stream ended"), 1) << report;
    EXPECT_EQ(camera.made(), 2);
}

TEST(GstCameraFaults, BurstGivesTheNewestFrame) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);

    for (int v = 20; v <= 200; v += 20)
        ASSERT_TRUE(camera.push(static_cast<std::uint8_t>(v)));
    std::vector<std::vector<std::uint8_t>> seen;
    std::vector<std::uint8_t> frame(frameBytes(kW, kH));
    auto quietSince = Clock::now();
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline && (seen.empty() || Clock::now() - quietSince < 300ms)) {
        if (source->copyNewestFrame(frame)) {
            seen.push_back(frame);
            quietSince = Clock::now();
        }
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_LT(seen.size(), 10u);
    EXPECT_EQ(seen.back(), filled(200));
    for (std::size_t i = 0; i + 1 < seen.size(); ++i)
        EXPECT_LT(seen[i][0], 200);
}

TEST(GstCameraFaults, FramesStampedFarAheadAreNotHeldBack) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(camera.push(222, 3600 * GST_SECOND));
    std::vector<std::uint8_t> frame(frameBytes(kW, kH));
    const auto deadline = Clock::now() + kPatience;
    bool arrived = false;
    while (!arrived && Clock::now() < deadline) {
        arrived = source->copyNewestFrame(frame);
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(arrived);
    EXPECT_EQ(frame, filled(222));
}

TEST(GstCameraFaults, DestroyingWhileAReopenIsUnderWayEndsCleanly) {
    FakeCamera camera(kW, kH);
    auto source = openQuiet(camera);
    ASSERT_NE(source, nullptr);
    ::testing::internal::CaptureStderr();
    camera.unplug();
    camera.plugIn();
    std::vector<std::uint8_t> frame(frameBytes(kW, kH));
    const auto deadline = Clock::now() + kPatience;
    while (camera.made() < 2 && Clock::now() < deadline) {
        source->copyNewestFrame(frame);
        std::this_thread::sleep_for(2ms);
    }
    source.reset();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(camera.made(), 2);
}

TEST(GstCameraFaults, WithoutRecoveryAnEndIsReportedOnce) {
    std::string error;
    auto source =
        GstFrameSource::openLaunchSource("videotestsrc is-live=true num-buffers=3", 8, 6, error);
    ASSERT_NE(source, nullptr) << error;
    ::testing::internal::CaptureStderr();
    std::vector<std::uint8_t> frame(frameBytes(8, 6));
    for (int call = 0; call < 300; ++call) {
        source->copyNewestFrame(frame);
        std::this_thread::sleep_for(2ms);
    }
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(report,
                          "video source \"videotestsrc is-live=true num-buffers=3\" "
                          "stopped: the stream ended\n"),
              1)
        << report;
}

}  // namespace
}  // namespace tavlomi
