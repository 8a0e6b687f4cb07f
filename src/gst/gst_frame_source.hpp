#pragma once

// Picture sources through GStreamer: SOURCE ! videoconvert ! videoscale ! video/x-raw,format=BGR,
// width=W,height=H ! appsink that keeps only the newest sample. Frames arrive on GStreamer's own
// threads; copyNewestFrame() pulls without waiting and repacks into the frame buffer format.
// A camera is asked for its capture mode nearest the grid (raw, or JPEG through jpegdec); when
// it is lost it is looked for again in the background, and capture resumes once it delivers.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/camera_choice.hpp"
#include "capture/frame_source.hpp"

typedef struct _GstElement GstElement;
typedef struct _GstCaps GstCaps;

namespace tavlomi {

// Devices of class Video/Source in the device monitor's order, with their formats, V4L2 device
// bits and /dev/v4l/by-id links. Empty when there are none.
std::vector<CameraDevice> listCameras();

class GstFrameSource final : public FrameSource {
  public:
    // A new source element for a camera pipeline. The pipeline takes both references, also when
    // it cannot use them.
    struct MadeSource {
        GstElement* element = nullptr;  // a floating reference; nullptr when none can be made
        GstCaps* offered = nullptr;     // what element can deliver when known beforehand
        std::string label;              // how messages name it, e.g. "/dev/video0"
        std::string problem;            // why element is nullptr
    };
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
    // nullptr and sets error to a sentence naming the source and the reason.

    // The camera at index in listCameras(); when lost, the same camera or else any colour camera
    // is taken once it is there.
    static std::unique_ptr<GstFrameSource> openCamera(std::size_t index, int width, int height,
                                                      std::string& error);
    // A V4L2 device node, reopened like openCamera's.
    static std::unique_ptr<GstFrameSource> openDevice(const std::string& node, int width,
                                                      int height, std::string& error);
    // A video file, decoded in real time and looped at its end.
    static std::unique_ptr<GstFrameSource> openVideoFile(const std::string& path, int width,
                                                         int height, std::string& error);
    // Any gst-launch source fragment, e.g. "videotestsrc pattern=smpte"; live sources are not
    // synchronised to the clock. It is neither asked for a mode nor reopened.
    static std::unique_ptr<GstFrameSource> openLaunchSource(const std::string& description,
                                                            int width, int height,
                                                            std::string& error);
    // A camera-like source from make: asked for the capture mode nearest the grid (from its
    // offered caps, else from what it answers once opened), JPEG decoded, frames taken
    // unsynchronised, and reopened through recovery after an error or its end.
    static std::unique_ptr<GstFrameSource> openCameraSource(const SourceMaker& make,
                                                            Recovery recovery, int width,
                                                            int height, std::string& error);

    ~GstFrameSource() override;
    GstFrameSource(const GstFrameSource&) = delete;
    GstFrameSource& operator=(const GstFrameSource&) = delete;

    // Never waits: at most it drains the bus, pulls one sample, and while a camera is lost
    // starts or collects a background reopen attempt.
    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override;

    // The mode asked of the source delivering now; nullopt for files and launch fragments, when
    // the source offered nothing to choose from, and while a camera is lost.
    std::optional<CaptureMode> captureMode() const;

  private:
    struct Pipeline;
    struct ReopenAttempt;
    // Only the openers can name Key, so only they can construct; public for std::make_unique.
    struct Key {
        explicit Key() = default;
    };

  public:
    GstFrameSource(Key, std::unique_ptr<Pipeline> pipeline, Recovery recovery);

  private:
    using Clock = std::chrono::steady_clock;

    static std::unique_ptr<GstFrameSource> startPipeline(std::unique_ptr<Pipeline> pipeline,
                                                         bool unsyncLive,
                                                         const std::string& failurePrefix,
                                                         std::string& error);
    // A camera pipeline around made's element, not yet started; nullptr with reason on failure.
    // Always takes made's references.
    static std::unique_ptr<Pipeline> buildCameraPipeline(MadeSource& made, int width, int height,
                                                         std::string& reason);
    bool recover(std::span<std::uint8_t> frameBuffer);
    void startReopenAttempt();

    std::unique_ptr<Pipeline> active_;  // nullptr while a camera is lost
    Recovery recovery_;
    int width_;
    int height_;
    std::string lostLabel_;
    // Dead pipelines, torn down by the next reopen attempt before it opens anything.
    std::vector<std::unique_ptr<Pipeline>> retired_;
    std::unique_ptr<Pipeline> candidate_;  // reopened, waiting for its first frame
    Clock::time_point candidateDeadline_;
    Clock::time_point nextAttempt_;
    std::unique_ptr<ReopenAttempt> attempt_;  // last member: joined before anything else goes
};

}  // namespace tavlomi
