// The camera path of GstFrameSource: capture modes, raw and JPEG decoding, and the faults a real
// camera shows (errors, unplugging, stalls, ends, bursts), injected through a fake camera whose
// every plug-in is a new live appsrc handed out by the SourceMaker the way a device would be.

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include "capture/capture_source.hpp"
#include "gst/gst_frame_source.hpp"
#include "gst/gst_test_support.hpp"

namespace tavlomi {
namespace {

using namespace gst_testing;
using namespace std::chrono_literals;

// Short, so that the tests see several reopen attempts quickly.
constexpr auto kRetry = 50ms;
constexpr int kW = 64;
constexpr int kH = 48;
const std::string kLost = "camera fake camera was lost: ";

Frame filled(std::uint8_t v) {
    return gst_testing::filled(v, kW, kH);
}

// Takes frames until none has come for 200 ms, so that what follows starts from a quiet source.
void takeLeftovers(GstFrameSource& source) {
    Frame frame = filled(0);
    const auto deadline = Clock::now() + kPatience;
    for (auto quiet = Clock::now(); Clock::now() - quiet < 200ms && Clock::now() < deadline;) {
        if (source.copyNewestFrame(frame)) quiet = Clock::now();
        std::this_thread::sleep_for(2ms);
    }
}

// Polls for about duration, expecting nothing; returns the longest single call.
Clock::duration pollNothingFor(GstFrameSource& source, Clock::duration duration) {
    Frame frame = filled(7);
    Clock::duration longest{};
    for (const auto end = Clock::now() + duration; Clock::now() < end;) {
        const auto before = Clock::now();
        EXPECT_FALSE(source.copyNewestFrame(frame));
        longest = std::max(longest, Clock::now() - before);
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(frame, filled(7));
    return longest;
}

GstFrameSource::SourceMaker launchMaker(const std::string& description) {
    return [description] {
        GstFrameSource::MadeSource made;
        made.label = "test source";
        made.element = gst_parse_bin_from_description(description.c_str(), TRUE, nullptr);
        if (made.element == nullptr) made.problem = "it cannot be parsed";
        return made;
    };
}

CaptureMode mode(const char* media, const char* format, int width, int height) {
    return {{media, format}, width, height, FrameRate{30, 1}};
}

TEST(GstCamera, TheModeNearestTheGridIsAskedForAndDecodedLikeGStreamersOwnRendering) {
    // Raw YUY2 within 2 everywhere, JPEG within 4 at the middle of each of the seven upper bars
    // (it blurs the edges between them); the frame is bottom-up, the reference top-down. Of
    // several modes the one nearest the grid is asked for (then the picture is only sized).
    const struct {
        const char* camera;
        int w, h;
        CaptureMode mode;
        const char* reference;
        int tolerance;
    } cases[] = {
        {"pattern=smpte ! capsfilter caps=video/x-raw,format=YUY2", 160, 120,
         mode("video/x-raw", "YUY2", 160, 120),
         "videotestsrc pattern=smpte ! video/x-raw,format=YUY2,width=160,height=120", 2},
        {"pattern=smpte ! jpegenc", 160, 120, mode("image/jpeg", "", 160, 120),
         "videotestsrc pattern=smpte ! video/x-raw,width=160,height=120 ! jpegenc ! jpegdec", 4},
        {"! capsfilter caps=\"video/x-raw,format=YUY2,width=640,height=480,framerate=30/1; "
         "video/x-raw,format=YUY2,width=320,height=240,framerate=30/1; "
         "video/x-raw,format=YUY2,width=1280,height=720,framerate=10/1\"",
         300, 220, mode("video/x-raw", "YUY2", 320, 240), nullptr, 0},
        {"! jpegenc ! capsfilter caps=\"image/jpeg,width=640,height=480,framerate=30/1; "
         "image/jpeg,width=176,height=144,framerate=30/1\"",
         160, 120, mode("image/jpeg", "", 176, 144), nullptr, 0}};
    for (const auto& c : cases) {
        const std::string launch = std::string("videotestsrc is-live=true ") + c.camera;
        std::string error;
        auto source = GstFrameSource::openCameraSource(launchMaker(launch), {}, c.w, c.h, error);
        ASSERT_NE(source, nullptr) << error;
        EXPECT_EQ(source->captureMode(), c.mode) << c.camera;
        const Frame frame = waitForFrame(*source, c.w, c.h);
        ASSERT_EQ(frame.size(), 3u * c.w * c.h) << c.camera;
        if (c.reference == nullptr) continue;
        const Frame reference = renderBgrx(c.reference, c.w, c.h);
        ASSERT_FALSE(reference.empty());
        const int w = c.w, h = c.h;
        int worst = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool barCentre = y == h / 4 && (2 * (x * 7 / w) + 1) * w / 14 == x;
                if (c.mode.format.mediaType == "image/jpeg" && !barCentre) continue;
                for (int ch = 0; ch < 3; ++ch) {
                    worst = std::max(worst, std::abs(frame[3 * ((h - 1 - y) * w + x) + ch] -
                                                     reference[4 * (y * w + x) + ch]));
                }
            }
        }
        EXPECT_LE(worst, c.tolerance) << c.camera;
    }
    std::string error;
    const auto busy = [] {
        GstFrameSource::MadeSource made;
        made.label = "/dev/video5";
        made.problem = "it is busy";
        return made;
    };
    EXPECT_EQ(GstFrameSource::openCameraSource(busy, {}, 32, 24, error), nullptr);
    EXPECT_EQ(error, "cannot open camera /dev/video5: it is busy");
}

TEST(GstCamera, PermissionDeniedNamesTheVideoGroup) {
    // A node nobody may open, tried from a thread whose file access is an ordinary user's even
    // when the tests run as root (the file-system uid is per thread).
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tavlomi-locked-" + std::to_string(::getpid())))
            .string();
    std::ofstream(path) << "a camera node nobody may open";
    std::filesystem::permissions(path, std::filesystem::perms::none);
    ensureGst();
    std::string deviceError, sourceError;
    bool denied = false;
    std::thread([&] {
        if (::geteuid() == 0) {
            ::setfsgid(65534);
            ::setfsuid(65534);
        }
        const int fd = ::open(path.c_str(), O_RDONLY);
        denied = fd < 0 && errno == EACCES;
        if (fd >= 0) ::close(fd);
        if (denied) {
            EXPECT_EQ(GstFrameSource::openDevice(path, 32, 24, deviceError), nullptr);
            EXPECT_EQ(GstFrameSource::openCameraSource(
                          launchMaker("filesrc location=" + path + " ! jpegdec"), {}, 32, 24,
                          sourceError),
                      nullptr);
        }
        if (::geteuid() == 0) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }).join();
    std::filesystem::remove(path);
    if (!denied) GTEST_SKIP() << "file permissions cannot be taken away here";
    EXPECT_EQ(deviceError, "cannot open camera " + path + ": " + permissionDeniedText());
    EXPECT_EQ(sourceError, "cannot open camera test source: " + permissionDeniedText());
}

// A camera the test plugs in, feeds, ends and unplugs. It sends BGR, which reaches the frame
// buffer byte for byte (rows of kW pixels need no padding), so every frame is known exactly.
// Reopen attempts call the maker on a background thread, hence the lock.
class FakeCamera {
  public:
    // Each plug-in starts with this frame, as a camera delivers as soon as it streams.
    static constexpr std::uint8_t kGreeting = 240;

    FakeCamera() { ensureGst(); }
    ~FakeCamera() {
        if (source_ != nullptr) gst_object_unref(source_);
    }

    GstFrameSource::Recovery recovery() {
        return {[this] { return make(); }, kRetry, 5s};
    }
    std::unique_ptr<GstFrameSource> open() {
        std::string error;
        auto source =
            GstFrameSource::openCameraSource(recovery().reopen, recovery(), kW, kH, error);
        EXPECT_NE(source, nullptr) << error;
        return source;
    }
    void plugIn() { present_ = true; }
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
    // A frame of v everywhere into the newest source, stamped at `at` when given.
    bool push(std::uint8_t v, std::optional<GstClockTime> at = std::nullopt) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return pushLocked(v, at);
    }
    // Feeds v until the source hands a frame over.
    Frame feed(GstFrameSource& source, std::uint8_t v) {
        return waitForFrame(source, kW, kH, [this, v] { push(v); });
    }
    int made() const { return made_; }
    int attempts() const { return attempts_; }

  private:
    bool pushLocked(std::uint8_t v, std::optional<GstClockTime> at = std::nullopt) {
        if (source_ == nullptr) return false;
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, filled(v).size(), nullptr);
        gst_buffer_memset(buffer, 0, v, filled(v).size());
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
        made.offered = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width",
                                           G_TYPE_INT, kW, "height", G_TYPE_INT, kH, "framerate",
                                           GST_TYPE_FRACTION, 30, 1, nullptr);
        made.element = gst_element_factory_make("appsrc", nullptr);
        g_object_set(made.element, "caps", made.offered, "is-live", TRUE, "format", GST_FORMAT_TIME,
                     "do-timestamp", TRUE, nullptr);
        if (source_ != nullptr) gst_object_unref(source_);
        source_ = GST_APP_SRC(gst_object_ref(made.element));
        pushLocked(kGreeting);
        ++made_;
        return made;
    }

    std::mutex mutex_;
    std::atomic<bool> present_ = true;
    GstAppSrc* source_ = nullptr;  // the newest source made, whatever became of it
    std::atomic<int> made_ = 0;
    std::atomic<int> attempts_ = 0;
};

TEST(GstCameraFaults, UnpluggedCameraFreezesIsReportedOnceAndResumesEachTimeItIsBack) {
    FakeCamera camera;
    auto source = camera.open();
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->captureMode(), mode("video/x-raw", "BGR", kW, kH));
    Frame frame = filled(0);
    EXPECT_TRUE(source->copyNewestFrame(frame));  // the frame sent while opening comes first
    EXPECT_EQ(frame, filled(FakeCamera::kGreeting));
    CaptureSource capture(kW, kH, *source);
    for (auto deadline = Clock::now() + kPatience;
         capture.getRgbGrid()[0].r != 90 && Clock::now() < deadline;) {
        camera.push(90);
        capture.grabFrame();
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(capture.getRgbGrid()[0].r, 90);
    takeLeftovers(*source);
    capture.grabFrame();
    const LumaGrid before = capture.getLumaGrid();

    ::testing::internal::CaptureStderr();
    camera.unplug();
    const auto start = Clock::now();
    while (Clock::now() - start < 600ms) {
        camera.push(20);
        capture.grabFrame();
        std::this_thread::sleep_for(2ms);
    }
    // The picture stays on the last frame; attempts come, but one a retry interval at most.
    EXPECT_EQ(capture.getLumaGrid(), before);
    EXPECT_EQ(capture.getRgbGrid()[kW * kH - 1].g, 90);
    EXPECT_EQ(source->captureMode(), std::nullopt);
    EXPECT_GE(camera.attempts() - 1, 1);
    EXPECT_LE(camera.attempts() - 1, (Clock::now() - start) / kRetry + 1);
    EXPECT_EQ(camera.made(), 1);
    for (int round = 1; round <= 3; ++round) {
        if (round > 1) camera.unplug();
        camera.plugIn();
        const Frame back = camera.feed(*source, 200);
        EXPECT_TRUE(back == filled(FakeCamera::kGreeting) || back == filled(200)) << round;
        EXPECT_EQ(camera.made(), 1 + round);
        EXPECT_EQ(source->captureMode(), mode("video/x-raw", "BGR", kW, kH));
        takeLeftovers(*source);
        EXPECT_EQ(camera.feed(*source, 201), filled(201)) << round;
    }
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(report, kLost + "the camera was unplugged; the picture stays still "
                                          "until a camera is back\n"),
              3)
        << report;
    EXPECT_EQ(occurrences(report, "camera fake camera is back\n"), 3) << report;
}

TEST(GstCameraFaults, StalledCameraNeverBlocksAndIsNotReopened) {
    FakeCamera camera;
    auto source = camera.open();
    ASSERT_NE(source, nullptr);
    takeLeftovers(*source);
    ::testing::internal::CaptureStderr();
    // Calls that waited for the camera would last as long as the stall.
    EXPECT_LT(pollNothingFor(*source, 1500ms), 250ms);
    EXPECT_EQ(camera.feed(*source, 210), filled(210));
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(report, kLost), 0) << report;
    EXPECT_EQ(camera.made(), 1);
}

TEST(GstCameraFaults, AnEndCountsAsLostAndIsReportedOnceWhileNoCameraComesBack) {
    FakeCamera camera;
    auto source = camera.open();
    ASSERT_NE(source, nullptr);
    takeLeftovers(*source);
    ::testing::internal::CaptureStderr();
    camera.endStream();
    EXPECT_FALSE(camera.feed(*source, 100).empty());
    EXPECT_EQ(camera.made(), 2);
    takeLeftovers(*source);
    const int attempts = camera.attempts();
    camera.unplug();
    camera.endStream();
    pollNothingFor(*source, 500ms);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(report, kLost + "the stream ended"), 1) << report;
    EXPECT_EQ(occurrences(report, kLost), 2) << report;
    EXPECT_GE(camera.attempts() - attempts, 1);
    EXPECT_EQ(camera.made(), 2);
}

TEST(GstCameraFaults, TheNewestFrameComesAtOnceAfterABurstOrFarAheadOfTheClock) {
    FakeCamera camera;
    auto source = camera.open();
    ASSERT_NE(source, nullptr);
    takeLeftovers(*source);
    for (int v = 20; v <= 200; v += 20)
        ASSERT_TRUE(camera.push(static_cast<std::uint8_t>(v)));
    std::vector<Frame> seen;
    Frame frame = filled(0);
    const auto deadline = Clock::now() + kPatience;
    for (auto quiet = Clock::now();
         Clock::now() < deadline && (seen.empty() || Clock::now() - quiet < 300ms);) {
        if (source->copyNewestFrame(frame)) {
            seen.push_back(frame);
            quiet = Clock::now();
        }
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_LT(seen.size(), 10u);
    EXPECT_EQ(seen.back(), filled(200));
    for (std::size_t i = 0; i + 1 < seen.size(); ++i)
        EXPECT_LT(seen[i][0], 200);
    ASSERT_TRUE(camera.push(222, 3600 * GST_SECOND));
    EXPECT_EQ(waitForFrame(*source, kW, kH), filled(222));
}

TEST(GstCameraFaults, DestroyingWhileAReopenIsUnderWayEndsCleanly) {
    FakeCamera camera;
    auto source = camera.open();
    ASSERT_NE(source, nullptr);
    ::testing::internal::CaptureStderr();
    camera.unplug();
    camera.plugIn();
    Frame frame = filled(0);
    for (auto deadline = Clock::now() + kPatience; camera.made() < 2 && Clock::now() < deadline;) {
        source->copyNewestFrame(frame);
        std::this_thread::sleep_for(2ms);
    }
    source.reset();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(camera.made(), 2);
}

}  // namespace
}  // namespace tavlomi
