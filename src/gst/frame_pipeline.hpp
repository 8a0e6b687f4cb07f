#pragma once

// One running picture pipeline: SOURCE ! videoconvert ! videoscale ! video/x-raw,format=BGR,
// width=W,height=H ! appsink that keeps only the newest sample. Frames arrive on GStreamer's own
// threads; pull() takes the newest without waiting and holds it mapped, to be read in place.
// A camera is asked for its capture mode nearest the grid (raw, or JPEG through jpegdec); a video
// file goes through decodebin and loops at its end.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_mode.hpp"
#include "gst/gst_ref.hpp"
#include "gst/mapped_sample.hpp"

namespace tavlomi {

// A new source element for a camera pipeline, as a camera list or a test's fake makes it.
struct MadeSource {
    FloatingRef element;  // nullptr when none can be made
    CapsRef offered;      // what element can deliver, when known before it is opened
    std::string label;    // how messages name it, e.g. "/dev/video0"
    std::string problem;  // why element is nullptr
    // For a source that does not report its camera gone but only goes quiet (pipewiresrc, whose
    // node went away): how long without a frame counts as lost; nullopt for one that reports it.
    std::optional<std::chrono::milliseconds> quietLimit;
};

class FramePipeline {
  public:
    // Each builder returns the pipeline built but not started, or nullptr with reason set to why
    // (a sentence that does not name the source).

    // Opens made's element when its caps are not offered, asks it for the mode nearest the
    // grid, and decodes JPEG. Frames are taken as they come, never synchronised to a clock.
    static std::unique_ptr<FramePipeline> forCamera(MadeSource made, int width, int height,
                                                    std::string& reason);
    // A video file, decoded in real time and played again from its start at its end.
    static std::unique_ptr<FramePipeline> forVideoFile(const std::string& path, int width,
                                                       int height, std::string& reason);
    // Any gst-launch source fragment; a live one is not synchronised to the clock.
    static std::unique_ptr<FramePipeline> forLaunch(const std::string& description, int width,
                                                    int height, std::string& reason);

    // Stops the pipeline.
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // For files and launch fragments: sets PLAYING and waits for the state change, so that a
    // source that cannot start is reported here and not on the first frame.
    bool start(std::string& reason);

    enum class CameraStart {
        Streaming,  // the first frame arrived; pull() hands it out
        Waiting,    // no frame yet, no error: wait ran out, or cancel was set
        Failed,     // reason says why
    };
    // For cameras, whose sink does not preroll: sets PLAYING and waits up to wait for the first
    // frame or the error that stops the source, giving up early once cancel is set.
    CameraStart startCamera(std::chrono::milliseconds wait, const std::atomic<bool>& cancel,
                            std::string& reason);

    // Never blocks. A file at its end is sought back to its start. Gives the reason once when
    // the source stops: its first error, its end when it does not loop, or its quiet limit.
    std::optional<std::string> pollStop();

    // Never blocks. When a frame arrived since the last call and the source has not stopped,
    // into holds it (BGR of the grid size, top row first, rows padded) and returns true.
    // Otherwise returns false: into is left as it was when no frame arrived, and holds nothing
    // when the frame that arrived is not of that format.
    bool pull(MappedSample& into);

    const std::string& label() const { return label_; }
    // The mode asked of a camera; nullopt when it offered nothing to choose from, and for files
    // and launch fragments.
    const std::optional<CaptureMode>& mode() const { return mode_; }
    bool stopped() const { return stopped_; }

  private:
    struct Key {
        explicit Key() = default;
    };

  public:
    // Only the builders can name Key; public for std::make_unique.
    FramePipeline(Key, int width, int height, std::string label);

  private:
    static std::unique_ptr<FramePipeline> create(int width, int height, std::string label,
                                                 std::string& reason);
    bool buildTail(bool sync, std::string& reason);
    bool addCamera(GstElement* source, CapsRef offered, std::string& reason);
    bool addModeRequest(GstElement*& last, std::string& reason);
    bool addDecoder(const std::string& path, std::string& reason);
    std::string errorReason(const std::string& otherwise);

    GstRef<GstElement> pipeline_;
    GstRef<GstBus> bus_;
    GstElement* head_ = nullptr;     // videoconvert, where the source is linked; owned by pipeline_
    GstAppSink* appsink_ = nullptr;  // owned by pipeline_
    int width_;
    int height_;
    std::string label_;
    bool unsyncLive_ = false;
    bool loopsAtEnd_ = false;
    bool stopped_ = false;
    std::optional<CaptureMode> mode_;
    SampleRef firstSample_;  // taken while starting, handed out when nothing newer has come
    std::optional<std::chrono::milliseconds> quietLimit_;
    std::chrono::steady_clock::time_point lastFrame_;
};

}  // namespace tavlomi
