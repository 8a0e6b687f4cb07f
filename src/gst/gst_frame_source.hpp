#pragma once

// Picture sources through GStreamer (see FramePipeline): cameras, video files and gst-launch
// fragments. A camera that is lost is looked for again in the background, and capture resumes
// once it delivers. Whatever the person at the screen should know (a camera lost or back, a
// source that stopped) goes to the NoticeSink, always from copyNewestFrame() or viewNewestFrame()
// on its caller's thread, whichever thread noticed it. A frame is lent as GStreamer's own mapped
// sample, top row first in its padded rows, so no copy is made on the way to the conversion.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/capture_mode.hpp"
#include "capture/frame_source.hpp"
#include "common/notice_queue.hpp"
#include "common/notice_sink.hpp"
#include "gst/frame_pipeline.hpp"

namespace tavlomi {

class GstFrameSource final : public FrameSource {
  public:
    // Called once on the opening thread for the first source, then on a background thread for
    // each reopen attempt; never on the frame loop's thread after opening.
    using SourceMaker = std::function<MadeSource()>;

    struct Recovery {
        SourceMaker reopen;  // empty: a lost source stays lost
        // From a loss or a failed attempt to the next attempt.
        std::chrono::milliseconds retryInterval{1500};
        // A reopened source that delivers nothing for this long is given up and tried again.
        std::chrono::milliseconds patience{5000};
    };

    // Each opener builds and starts the pipeline and returns it running; on failure it returns
    // nullptr and sets error to a sentence naming the source and the reason. notices must
    // outlive the source.

    // The camera at index in CameraList; when lost, the same camera or else any colour camera
    // is taken once it is there.
    static std::unique_ptr<GstFrameSource> openCamera(std::size_t index, int width, int height,
                                                      NoticeSink& notices, std::string& error);
    // A V4L2 device node, reopened like openCamera's.
    static std::unique_ptr<GstFrameSource> openDevice(const std::string& node, int width,
                                                      int height, NoticeSink& notices,
                                                      std::string& error);
    // A video file, decoded in real time and looped at its end.
    static std::unique_ptr<GstFrameSource> openVideoFile(const std::string& path, int width,
                                                         int height, NoticeSink& notices,
                                                         std::string& error);
    // Any gst-launch source fragment, e.g. "videotestsrc pattern=smpte"; live sources are not
    // synchronised to the clock. It is neither asked for a mode nor reopened.
    static std::unique_ptr<GstFrameSource> openLaunchSource(const std::string& description,
                                                            int width, int height,
                                                            NoticeSink& notices,
                                                            std::string& error);
    // A camera-like source from make: asked for the capture mode nearest the grid, JPEG
    // decoded, frames taken unsynchronised, and reopened through recovery after an error or its
    // end.
    static std::unique_ptr<GstFrameSource> openCameraSource(const SourceMaker& make,
                                                            Recovery recovery, int width,
                                                            int height, NoticeSink& notices,
                                                            std::string& error);

    ~GstFrameSource() override;
    GstFrameSource(const GstFrameSource&) = delete;
    GstFrameSource& operator=(const GstFrameSource&) = delete;

    // Never waits: at most it drains the bus, pulls one sample, starts or collects a background
    // reopen attempt while a camera is lost, and delivers the notices raised since the last call.
    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override;
    // As copyNewestFrame, but lends the sample in place: frameBuffer is not used, and the view
    // stays valid (the sample mapped) until the next call or the source's end, across a lost
    // camera and its reopening.
    std::optional<FrameView> viewNewestFrame(std::span<std::uint8_t> frameBuffer,
                                             int width) override;

    // The mode asked of the source delivering now; nullopt for files and launch fragments, when
    // the source offered nothing to choose from, and while a camera is lost.
    std::optional<CaptureMode> captureMode() const;

  private:
    struct ReopenAttempt;
    struct Key {
        explicit Key() = default;
    };

  public:
    // Only the openers can name Key; public for std::make_unique.
    GstFrameSource(Key, std::unique_ptr<FramePipeline> pipeline, Recovery recovery, int width,
                   int height, NoticeSink& notices);

  private:
    using Clock = std::chrono::steady_clock;

    static std::unique_ptr<GstFrameSource> start(std::unique_ptr<FramePipeline> pipeline, int width,
                                                 int height, NoticeSink& notices,
                                                 const std::string& failurePrefix,
                                                 std::string& error);
    void lose(const std::string& reason);
    bool takeNewest();
    bool recover();
    void startReopenAttempt();

    std::unique_ptr<FramePipeline> active_;  // nullptr while a camera is lost
    Recovery recovery_;
    int width_;
    int height_;
    NoticeSink& notices_;
    NoticeQueue raised_;  // notices on their way to notices_
    std::string lostLabel_;
    // Dead pipelines, torn down by the next reopen attempt before it opens anything.
    std::vector<std::unique_ptr<FramePipeline>> retired_;
    Clock::time_point nextAttempt_;
    MappedSample lent_;                       // the newest frame handed out, until the next call
    std::unique_ptr<ReopenAttempt> attempt_;  // last member: joined before anything else goes
};

}  // namespace tavlomi
