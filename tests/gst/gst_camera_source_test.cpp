// The faults a real camera shows (errors, unplugging, stalls, ends, bursts), injected through a
// fake camera whose every plug-in is a new live appsrc handed out by the SourceMaker the way a
// device would be.

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/camera_choice.hpp"
#include "gst/gst_frame_source.hpp"
#include "support/gst_pipelines.hpp"
#include "support/recording_notices.hpp"

namespace tavlomi {
namespace {

using namespace gst_testing;
using namespace std::chrono_literals;

// Short, so that the tests see several reopen attempts quickly.
constexpr auto kRetry = 50ms;
constexpr int kW = 64;
constexpr int kH = 48;

Frame filled(std::uint8_t v) {
    return gst_testing::filled(v, kW, kH);
}

const CaptureMode kOffered{{"video/x-raw", "BGR"}, kW, kH, {30, 1}};

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

    GstFrameSource::SourceMaker maker() {
        return [this] { return make(); };
    }
    // A silent camera streams without sending anything.
    void plugIn(const std::string& label = "fake camera", bool greets = true) {
        const std::lock_guard<std::mutex> lock(mutex_);
        label_ = label;
        greets_ = greets;
        present_ = true;
    }
    // What v4l2src does when its device goes away: an error on the bus. A camera service may
    // instead say that access was taken away.
    void unplug(GstResourceError code = GST_RESOURCE_ERROR_READ) {
        const std::lock_guard<std::mutex> lock(mutex_);
        present_ = false;
        if (source_ == nullptr) return;
        GError* gerror = g_error_new_literal(GST_RESOURCE_ERROR, code, "the camera was unplugged");
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
    MadeSource make() {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++attempts_;
        MadeSource made;
        made.label = label_;
        if (!present_) {
            made.problem = "it is not plugged in";
            return made;
        }
        made.offered.reset(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR",
                                               "width", G_TYPE_INT, kW, "height", G_TYPE_INT, kH,
                                               "framerate", GST_TYPE_FRACTION, 30, 1, nullptr));
        made.element.reset(gst_element_factory_make("appsrc", nullptr));
        g_object_set(made.element.get(), "caps", made.offered.get(), "is-live", TRUE, "format",
                     GST_FORMAT_TIME, "do-timestamp", TRUE, nullptr);
        if (source_ != nullptr) gst_object_unref(source_);
        source_ = GST_APP_SRC(gst_object_ref(made.element.get()));
        if (greets_) pushLocked(kGreeting);
        ++made_;
        return made;
    }

    std::mutex mutex_;
    std::string label_ = "fake camera";
    bool present_ = true;
    bool greets_ = true;
    GstAppSrc* source_ = nullptr;  // the newest source made, whatever became of it
    std::atomic<int> made_ = 0;
    std::atomic<int> attempts_ = 0;
};

// The frames handed over until none has come for 300 ms (after a first one, when awaitFirst), so
// that what follows starts from a quiet source.
std::vector<Frame> framesUntilQuiet(GstFrameSource& source, bool awaitFirst = false) {
    std::vector<Frame> seen;
    Frame frame = filled(0);
    const auto deadline = Clock::now() + kPatience;
    for (auto quiet = Clock::now(); Clock::now() < deadline && ((awaitFirst && seen.empty()) ||
                                                                Clock::now() - quiet < 300ms);) {
        if (source.copyNewestFrame(frame)) {
            seen.push_back(frame);
            quiet = Clock::now();
        }
        std::this_thread::sleep_for(2ms);
    }
    return seen;
}

// Polls for about duration while feeding v, expecting nothing and the frame left alone; returns
// the longest single call.
Clock::duration pollNothingFor(
    GstFrameSource& source, Clock::duration duration, const std::function<void()>& feed = [] {}) {
    Frame frame = filled(7);
    Clock::duration longest{};
    for (const auto end = Clock::now() + duration; Clock::now() < end;) {
        feed();
        const auto before = Clock::now();
        EXPECT_FALSE(source.copyNewestFrame(frame));
        longest = std::max(longest, Clock::now() - before);
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(frame, filled(7));
    return longest;
}

TEST(GstCameraFaults, StallsBurstsLossesAndReturns) {
    FakeCamera camera;
    RecordingNotices notices;
    std::string error;
    auto source = GstFrameSource::openCameraSource(camera.maker(), {camera.maker(), kRetry, 5s}, kW,
                                                   kH, notices, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->captureMode(), kOffered);
    Frame frame = filled(0);
    EXPECT_TRUE(source->copyNewestFrame(frame));  // the frame sent while opening comes first
    EXPECT_EQ(frame, filled(FakeCamera::kGreeting));
    // Calls that waited for the stalled camera would last as long as the stall.
    EXPECT_LT(pollNothingFor(*source, 1500ms), 250ms);
    // Of a burst only the newest frames are kept, the very newest last; a frame stamped far
    // ahead of the clock is not held back.
    for (int v = 20; v <= 200; v += 20)
        ASSERT_TRUE(camera.push(static_cast<std::uint8_t>(v)));
    const std::vector<Frame> seen = framesUntilQuiet(*source, true);
    ASSERT_FALSE(seen.empty());
    EXPECT_LT(seen.size(), 10u);
    EXPECT_EQ(seen.back(), filled(200));
    for (std::size_t i = 0; i + 1 < seen.size(); ++i)
        EXPECT_LT(seen[i][0], 200);
    ASSERT_TRUE(camera.push(222, 3600 * GST_SECOND));
    EXPECT_EQ(waitForFrame(*source, kW, kH), filled(222));
    EXPECT_TRUE(notices.texts.empty());

    // Unplugged: nothing is handed over while it is fed, and it is looked for again, but once a
    // retry interval at most.
    camera.unplug();
    const auto start = Clock::now();
    pollNothingFor(*source, 600ms, [&camera] { camera.push(20); });
    EXPECT_EQ(source->captureMode(), std::nullopt);
    EXPECT_GE(camera.attempts() - 1, 1);
    EXPECT_LE(camera.attempts() - 1, (Clock::now() - start) / kRetry + 1);
    EXPECT_EQ(camera.made(), 1);
    // Back after the unplugging; then lost by its end and back; then refused and ended at once,
    // which is one loss.
    for (int round = 1; round <= 3; ++round) {
        framesUntilQuiet(*source);
        if (round == 2) camera.endStream();
        if (round == 3) {
            camera.unplug(GST_RESOURCE_ERROR_NOT_AUTHORIZED);
            camera.endStream();
        }
        camera.plugIn();
        const Frame back = camera.feed(*source, 200);
        EXPECT_TRUE(back == filled(FakeCamera::kGreeting) || back == filled(200)) << round;
        EXPECT_EQ(camera.made(), 1 + round);
        EXPECT_EQ(source->captureMode(), kOffered);
        framesUntilQuiet(*source);
        EXPECT_EQ(camera.feed(*source, 201), filled(201)) << round;
    }
    const std::string lost = "camera fake camera was lost: ";
    const std::string still = "; the picture stays still until a camera is back";
    const std::string back = "camera fake camera is back";
    EXPECT_EQ(notices.texts,
              (std::vector<std::string>{lost + "the camera was unplugged" + still, back,
                                        lost + "the stream ended" + still, back,
                                        lost + permissionDeniedText() + still, back}));
    EXPECT_TRUE(notices.allOnThisThread());

    // Another camera is taken in place of the lost one. One that sends nothing is waited for
    // in the background; ending the source then does not wait for the attempt's patience.
    notices.texts.clear();
    camera.unplug();
    camera.plugIn("spare camera");
    EXPECT_FALSE(camera.feed(*source, 202).empty());
    EXPECT_EQ(notices.texts.back(),
              "camera spare camera is used in place of the lost camera fake camera");
    camera.unplug();
    camera.plugIn("spare camera", false);
    for (auto deadline = Clock::now() + kPatience; camera.made() < 6 && Clock::now() < deadline;) {
        EXPECT_FALSE(source->copyNewestFrame(frame));
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(camera.made(), 6);
    const auto ending = Clock::now();
    source.reset();
    EXPECT_LT(Clock::now() - ending, 2500ms);
}

}  // namespace
}  // namespace tavlomi
