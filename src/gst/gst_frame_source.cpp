#include "gst/gst_frame_source.hpp"

#include <atomic>
#include <thread>
#include <utility>

#include "gst/camera_list.hpp"
#include "gst/gst_support.hpp"

namespace tavlomi {

namespace {

// How long opening a camera waits for its first frame, which shows that it really streams; most
// deliver within a second, the slow ones are not failed for it.
constexpr std::chrono::milliseconds kFirstFrameWait{2000};

}  // namespace

struct GstFrameSource::ReopenAttempt {
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::unique_ptr<FramePipeline> pipeline;  // streaming; nullptr when nothing could be opened
    std::thread thread;

    ReopenAttempt() = default;
    ReopenAttempt(const ReopenAttempt&) = delete;
    ReopenAttempt& operator=(const ReopenAttempt&) = delete;
    ~ReopenAttempt() {
        cancel.store(true);
        if (thread.joinable()) thread.join();
    }
};

GstFrameSource::GstFrameSource(Key, std::unique_ptr<FramePipeline> pipeline, Recovery recovery,
                               int width, int height, NoticeSink& notices)
    : active_(std::move(pipeline)),
      recovery_(std::move(recovery)),
      width_(width),
      height_(height),
      notices_(notices) {}

GstFrameSource::~GstFrameSource() = default;

std::unique_ptr<GstFrameSource> GstFrameSource::start(std::unique_ptr<FramePipeline> pipeline,
                                                      int width, int height, NoticeSink& notices,
                                                      const std::string& failurePrefix,
                                                      std::string& error) {
    std::string reason;
    if (!pipeline->start(reason)) {
        error = failurePrefix + reason;
        return nullptr;
    }
    return std::make_unique<GstFrameSource>(Key{}, std::move(pipeline), Recovery{}, width, height,
                                            notices);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openCameraSource(const SourceMaker& make,
                                                                 Recovery recovery, int width,
                                                                 int height, NoticeSink& notices,
                                                                 std::string& error) {
    std::string reason;
    if (!ensureGstreamer(reason)) {
        error = "cannot open camera: " + reason;
        return nullptr;
    }
    MadeSource made = make();
    const std::string prefix = "cannot open camera " + made.label + ": ";
    auto pipeline = FramePipeline::forCamera(std::move(made), width, height, reason);
    const std::atomic<bool> never{false};
    if (!pipeline || pipeline->startCamera(kFirstFrameWait, never, reason) ==
                         FramePipeline::CameraStart::Failed) {
        error = prefix + reason;
        return nullptr;
    }
    return std::make_unique<GstFrameSource>(Key{}, std::move(pipeline), std::move(recovery), width,
                                            height, notices);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openCamera(std::size_t index, int width, int height,
                                                           NoticeSink& notices,
                                                           std::string& error) {
    const std::string prefix = "cannot open camera " + std::to_string(index) + ": ";
    std::string reason;
    if (!ensureGstreamer(reason)) {
        error = prefix + reason;
        return nullptr;
    }
    const CameraList cameras;
    const std::size_t count = cameras.devices().size();
    if (index >= count) {
        error = prefix + (count == 0 ? std::string("no video capture device was found")
                                     : "only " + std::to_string(count) + " video capture device" +
                                           (count == 1 ? " was" : "s were") + " found");
        return nullptr;
    }
    return openCameraSource([&] { return cameras.makeSource(index); },
                            Recovery{returningCameraMaker(cameras.devices()[index])}, width, height,
                            notices, error);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openDevice(const std::string& node, int width,
                                                           int height, NoticeSink& notices,
                                                           std::string& error) {
    return openCameraSource([&] { return makeNodeSource(node); },
                            Recovery{returningCameraMaker(describeNode(node))}, width, height,
                            notices, error);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openVideoFile(const std::string& path, int width,
                                                              int height, NoticeSink& notices,
                                                              std::string& error) {
    const std::string prefix = "cannot open video file " + path + ": ";
    std::string reason;
    auto pipeline = FramePipeline::forVideoFile(path, width, height, reason);
    if (!pipeline) {
        error = prefix + reason;
        return nullptr;
    }
    return start(std::move(pipeline), width, height, notices, prefix, error);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openLaunchSource(const std::string& description,
                                                                 int width, int height,
                                                                 NoticeSink& notices,
                                                                 std::string& error) {
    const std::string prefix = "cannot open source \"" + description + "\": ";
    std::string reason;
    auto pipeline = FramePipeline::forLaunch(description, width, height, reason);
    if (!pipeline) {
        error = prefix + reason;
        return nullptr;
    }
    return start(std::move(pipeline), width, height, notices, prefix, error);
}

bool GstFrameSource::copyNewestFrame(std::span<std::uint8_t> frameBuffer) {
    const bool fits = frameBuffer.size() == 3 * static_cast<std::size_t>(width_) * height_;
    const bool taken = takeNewest() && fits;
    if (taken) copyToFrameBuffer(lent_.view(), width_, height_, frameBuffer);
    lent_.release();
    return taken;
}

std::optional<FrameView> GstFrameSource::viewNewestFrame(std::span<std::uint8_t>, int width) {
    if (takeNewest() && width == width_) return lent_.view();
    lent_.release();
    return std::nullopt;
}

// Releases the frame lent last, then holds the newest in lent_ when one arrived.
bool GstFrameSource::takeNewest() {
    lent_.release();
    bool taken = false;
    if (active_) {
        if (const std::optional<std::string> stop = active_->pollStop()) {
            lose(*stop);
        } else {
            taken = active_->pull(lent_);
        }
    }
    if (!active_ && recovery_.reopen) taken = recover();
    raised_.deliver(notices_);
    return taken;
}

void GstFrameSource::lose(const std::string& reason) {
    if (!recovery_.reopen) {
        raised_.post("video source " + active_->label() + " stopped: " + reason);
        return;
    }
    lostLabel_ = active_->label();
    raised_.post("camera " + lostLabel_ + " was lost: " + reason +
                 "; the picture stays still until a camera is back");
    retired_.push_back(std::move(active_));
    nextAttempt_ = Clock::now() + recovery_.retryInterval;
}

bool GstFrameSource::recover() {
    if (attempt_ && attempt_->finished.load(std::memory_order_acquire)) {
        std::unique_ptr<FramePipeline> reopened = std::move(attempt_->pipeline);
        attempt_.reset();
        if (reopened) {
            active_ = std::move(reopened);
            return active_->pull(lent_);
        }
        nextAttempt_ = Clock::now() + recovery_.retryInterval;
    }
    if (!attempt_ && Clock::now() >= nextAttempt_) startReopenAttempt();
    return false;
}

void GstFrameSource::startReopenAttempt() {
    auto attempt = std::make_unique<ReopenAttempt>();
    attempt->thread =
        std::thread([target = attempt.get(), dead = std::move(retired_), make = recovery_.reopen,
                     patience = recovery_.patience, lost = lostLabel_, width = width_,
                     height = height_, raised = &raised_]() mutable {
            // The old pipeline may still hold the device the new one is about to open.
            dead.clear();
            std::string ignored;
            auto pipeline = FramePipeline::forCamera(make(), width, height, ignored);
            if (pipeline && pipeline->startCamera(patience, target->cancel, ignored) ==
                                FramePipeline::CameraStart::Streaming) {
                // The camera streams, so the notice may be delivered a call before its first frame.
                raised->post(pipeline->label() == lost
                                 ? "camera " + lost + " is back"
                                 : "camera " + pipeline->label() +
                                       " is used in place of the lost camera " + lost);
                target->pipeline = std::move(pipeline);
            }
            target->finished.store(true, std::memory_order_release);
        });
    retired_.clear();
    attempt_ = std::move(attempt);
}

std::optional<CaptureMode> GstFrameSource::captureMode() const {
    if (!active_) return std::nullopt;
    return active_->mode();
}

}  // namespace tavlomi
