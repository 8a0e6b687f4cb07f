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
#include <vector>

#include "capture/camera_choice.hpp"
#include "gst/gst_frame_source.hpp"
#include "gst/gst_ref.hpp"
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
constexpr const char* kOfferedCaps = "video/x-raw,format=BGR,width=64,height=48,framerate=30/1";

// A camera the test plugs in, feeds, ends and unplugs. It sends BGR, which reaches the frame
// buffer byte for byte (rows of kW pixels need no padding), so every frame is known exactly.
// It is its own SourceMaker; reopen attempts call it on a background thread, hence the lock.
class FakeCamera {
  public:
    // Each plug-in starts with this frame, as a camera delivers as soon as it streams.
    static constexpr std::uint8_t kGreeting = 240;

    // A silent camera streams without sending anything.
    void plugIn(const std::string& label = "fake camera", bool greets = true) {
        const std::lock_guard lock(mutex_);
        label_ = label;
        greets_ = greets;
        present_ = true;
    }
    // What v4l2src does when its device goes away: an error on the bus. A camera service may
    // instead say that access was taken away.
    void unplug(GstResourceError code = GST_RESOURCE_ERROR_READ) {
        const std::lock_guard lock(mutex_);
        present_ = false;
        if (!source_) return;
        GError* gerror = g_error_new_literal(GST_RESOURCE_ERROR, code, "the camera was unplugged");
        gst_element_post_message(GST_ELEMENT(source_.get()),
                                 gst_message_new_error(GST_OBJECT(source_.get()), gerror, nullptr));
        g_error_free(gerror);
    }
    void endStream() {
        const std::lock_guard lock(mutex_);
        if (source_) gst_app_src_end_of_stream(source_.get());
    }
    // A frame of v everywhere into the newest source, stamped at `at` when given.
    bool push(std::uint8_t v, std::optional<GstClockTime> at = std::nullopt) {
        const std::lock_guard lock(mutex_);
        if (!source_) return false;
        GstBuffer* buffer = gst_buffer_new_memdup(filled(v).data(), filled(v).size());
        if (at) GST_BUFFER_PTS(buffer) = *at;
        return gst_app_src_push_buffer(source_.get(), buffer) == GST_FLOW_OK;
    }
    // Feeds v until the source hands a frame over.
    Frame feed(GstFrameSource& source, std::uint8_t v) {
        return waitForFrame(source, kW, kH, [this, v] { push(v); });
    }
    MadeSource operator()() {
        const std::lock_guard lock(mutex_);
        ++attempts;
        if (!present_) return {{}, {}, label_, "it is not plugged in", {}};
        MadeSource result{{}, CapsRef{gst_caps_from_string(kOfferedCaps)}, label_, "", {}};
        result.element.reset(gst_element_factory_make("appsrc", nullptr));
        g_object_set(result.element.get(), "caps", result.offered.get(), "is-live", TRUE, "format",
                     GST_FORMAT_TIME, "do-timestamp", TRUE, nullptr);
        source_.reset(GST_APP_SRC(gst_object_ref(result.element.get())));
        if (greets_) push(kGreeting);
        ++made;
        return result;
    }
    std::atomic<int> made = 0;      // sources handed out
    std::atomic<int> attempts = 0;  // calls, whether a source came of them or not

  private:
    std::recursive_mutex mutex_;
    std::string label_ = "fake camera";
    bool present_ = true;
    bool greets_ = true;
    GstRef<GstAppSrc> source_;  // the newest source made, whatever became of it
};

// The frames handed over while polling, feed called before each try, until none has come for
// `quiet` (and, when awaitFirst, one came). No call may wait, as one held by a stalled camera
// would, and one that hands nothing over must leave the buffer alone.
std::vector<Frame> pollUntilQuiet(
    GstFrameSource& source, Clock::duration quiet, bool awaitFirst = false,
    const std::function<void()>& feed = [] {}) {
    std::vector<Frame> frames;
    auto last = Clock::now();
    pollUntil([&] {
        feed();
        Frame frame = filled(7);
        const auto before = Clock::now();
        const bool handed = source.copyNewestFrame(frame);
        EXPECT_LT(Clock::now() - before, 250ms);
        if (handed) {
            frames.push_back(frame);
            last = Clock::now();
        }
        EXPECT_TRUE(handed || frame == filled(7));
        return (!awaitFirst || !frames.empty()) && Clock::now() - last >= quiet;
    });
    return frames;
}

TEST(GstCameraFaults, StallsBurstsLossesAndReturns) {
    FakeCamera camera;
    RecordingNotices notices;
    std::string error;
    auto source = GstFrameSource::openCameraSource(std::ref(camera), {std::ref(camera), kRetry, 5s},
                                                   kW, kH, notices, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->captureMode(), kOffered);
    Frame frame = filled(0);
    EXPECT_TRUE(source->copyNewestFrame(frame));  // the frame sent while opening comes first
    EXPECT_EQ(frame, filled(FakeCamera::kGreeting));
    // The camera stalls: nothing comes, and no call waits for it.
    EXPECT_TRUE(pollUntilQuiet(*source, 1500ms).empty());
    // Of a burst only the newest frames are kept, the very newest last; a frame stamped far
    // ahead of the clock is not held back.
    for (int v = 20; v <= 200; v += 20)
        ASSERT_TRUE(camera.push(static_cast<std::uint8_t>(v)));
    const std::vector<Frame> seen = pollUntilQuiet(*source, 300ms, true);
    ASSERT_FALSE(seen.empty());
    EXPECT_LT(seen.size(), 10u);
    EXPECT_EQ(seen.back(), filled(200));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), filled(200)), 1);
    ASSERT_TRUE(camera.push(222, 3600 * GST_SECOND));
    EXPECT_EQ(waitForFrame(*source, kW, kH), filled(222));
    EXPECT_TRUE(notices.texts.empty());

    // Unplugged: nothing is handed over while it is fed, and it is looked for again, but once a
    // retry interval at most.
    camera.unplug();
    const auto start = Clock::now();
    EXPECT_TRUE(pollUntilQuiet(*source, 600ms, false, [&] { camera.push(20); }).empty());
    EXPECT_EQ(source->captureMode(), std::nullopt);
    EXPECT_GE(camera.attempts - 1, 1);
    EXPECT_LE(camera.attempts - 1, (Clock::now() - start) / kRetry + 1);
    EXPECT_EQ(camera.made, 1);
    // Back after the unplugging; then lost by its end and back; then refused and ended at once,
    // which is one loss.
    for (int round = 1; round <= 3; ++round) {
        pollUntilQuiet(*source, 300ms);
        if (round == 3) camera.unplug(GST_RESOURCE_ERROR_NOT_AUTHORIZED);
        if (round >= 2) camera.endStream();
        camera.plugIn();
        const Frame back = camera.feed(*source, 200);
        EXPECT_TRUE(back == filled(FakeCamera::kGreeting) || back == filled(200)) << round;
        EXPECT_EQ(camera.made, 1 + round);
        EXPECT_EQ(source->captureMode(), kOffered);
        pollUntilQuiet(*source, 300ms);
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
    EXPECT_TRUE(pollUntil([&] {
        EXPECT_FALSE(source->copyNewestFrame(frame));
        return camera.made == 6;
    }));
    const auto ending = Clock::now();
    source.reset();
    EXPECT_LT(Clock::now() - ending, 2500ms);
}

}  // namespace
}  // namespace tavlomi
