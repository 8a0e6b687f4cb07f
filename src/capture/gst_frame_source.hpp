#pragma once

// Camera frames through GStreamer: SOURCE ! videoconvert ! videoscale ! video/x-raw,format=BGR,
// width=W,height=H ! appsink that keeps only the newest sample. Frames arrive on GStreamer's
// own threads; copyNewestFrame() pulls without waiting and repacks into the frame buffer format.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "capture/frame_source.hpp"

namespace tavlomi {

// One video capture device as GStreamer's device monitor reports it.
struct CameraInfo {
    std::string name;  // display name, e.g. "Integrated Camera"
    std::string node;  // device node such as /dev/video0, empty when not known
};

// Devices of class Video/Source, in the monitor's order. Empty when there are none.
std::vector<CameraInfo> listCameras();

class GstFrameSource final : public FrameSource {
  public:
    // Each opener builds and starts the pipeline and returns it running; on failure it returns
    // nullptr and sets error to a sentence naming the source and GStreamer's reason.
    static std::unique_ptr<GstFrameSource> openCamera(std::size_t index, int width, int height,
                                                      std::string& error);
    static std::unique_ptr<GstFrameSource> openDevice(const std::string& path, int width,
                                                      int height, std::string& error);
    // A video file, decoded in real time and looped at its end.
    static std::unique_ptr<GstFrameSource> openVideoFile(const std::string& path, int width,
                                                         int height, std::string& error);
    // Any gst-launch source fragment, e.g. "videotestsrc pattern=smpte"; live sources are not
    // synchronised to the clock.
    static std::unique_ptr<GstFrameSource> openLaunchSource(const std::string& description,
                                                            int width, int height,
                                                            std::string& error);

    ~GstFrameSource() override;
    GstFrameSource(const GstFrameSource&) = delete;
    GstFrameSource& operator=(const GstFrameSource&) = delete;

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override;

  private:
    struct Pipeline;
    // Only the openers can name Key, so only they can construct; public for std::make_unique.
    struct Key {
        explicit Key() = default;
    };

  public:
    GstFrameSource(Key, std::unique_ptr<Pipeline> pipeline);

  private:
    static std::unique_ptr<GstFrameSource> startPipeline(std::unique_ptr<Pipeline> pipeline,
                                                         bool unsyncLive,
                                                         const std::string& failurePrefix,
                                                         std::string& error);
    std::unique_ptr<Pipeline> pipeline_;
};

}  // namespace tavlomi
