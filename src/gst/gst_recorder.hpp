#pragma once

// Records pictures into a video file through GStreamer:
//   appsrc ! [videocrop] ! videoconvert ! I420 ! ENCODER ! MUXER ! filesink
// The file's suffix chooses the format: ".webm" is VP8 in WebM (vp8enc, webmmux); ".mp4" is
// H.264 in MP4 (x264enc) or, without x264enc, MPEG-4 Visual in MP4 (avenc_mpeg4). H.264 needs
// even sides, so an odd last column or row is left out of an MP4 recording.
// All calls come from one thread; encoding runs on GStreamer's own threads.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/frame_pacer.hpp"

namespace tavlomi {

class GstRecorder {
  public:
    enum class Pacing {
        // For the running toy: stamps from the wall clock since the first frame, on the frame
        // rate's grid (FramePacer); a frame in an interval already used is skipped, and a frame
        // that finds kQueueFrames frames still waiting for the encoder is dropped, so pushFrame
        // never waits.
        RealTime,
        // Frame n is stamped n / framesPerSecond and every frame is kept: pushFrame waits while
        // the queue is full (failing the recording when the encoder takes nothing for
        // kStallSeconds). For tests and offline recording.
        EveryFrame,
    };

    // Frames that may wait for the encoder before RealTime drops or EveryFrame waits.
    static constexpr int kQueueFrames = 8;
    // How long finish() waits for the file to be finalised.
    static constexpr int kFinishSeconds = 5;
    static constexpr int kStallSeconds = 5;
    static constexpr int kMaxFramesPerSecond = 240;

    // Builds and starts the pipeline writing path (created or replaced). width, height > 0;
    // framesPerSecond in 1..kMaxFramesPerSecond. On failure returns nullptr and sets error to a
    // sentence naming the file and the reason (unknown suffix, missing encoder, unwritable file).
    static std::unique_ptr<GstRecorder> open(const std::string& path, int width, int height,
                                             int framesPerSecond, Pacing pacing,
                                             std::string& error);

    // Calls finish().
    ~GstRecorder();
    GstRecorder(const GstRecorder&) = delete;
    GstRecorder& operator=(const GstRecorder&) = delete;

    // Queues a copy of width * height pixel words 0x00RRGGBB (top byte ignored), row-major with
    // the top row first. True when the frame goes into the file; false when it was skipped or
    // dropped (see Pacing), when pixels has the wrong size, or when the recording has failed or
    // finished (then error() says why, for a failure).
    bool pushFrame(std::span<const std::uint32_t> pixels);

    // Ends the stream and waits up to kFinishSeconds until the muxer has finalised the file,
    // then stops the pipeline. True when the file is complete; later calls return the same.
    bool finish();

    // Why the recording failed; empty while it has not.
    const std::string& error() const { return error_; }
    // Frames pushFrame has queued, and frames it skipped or dropped.
    std::int64_t framesQueued() const { return framesQueued_; }
    std::int64_t framesLeftOut() const { return framesLeftOut_; }
    // The encoder element chosen, e.g. "x264enc".
    const std::string& encoderName() const { return encoderName_; }

  private:
    struct Pipeline;
    struct Key {
        explicit Key() = default;
    };

  public:
    // Only open() can name Key; public for std::make_unique.
    GstRecorder(Key, std::unique_ptr<Pipeline> pipeline, int width, int height, int framesPerSecond,
                Pacing pacing, std::string path, std::string encoderName);

  private:
    // Takes the first error message off the bus into error_; true when the recording failed.
    bool checkFailure();
    void fail(std::string reason);
    bool waitForRoom();

    std::unique_ptr<Pipeline> pipeline_;
    int width_;
    int height_;
    int framesPerSecond_;
    Pacing pacing_;
    std::string path_;
    std::string encoderName_;
    FramePacer pacer_;
    std::optional<std::chrono::steady_clock::time_point> start_;
    std::int64_t framesQueued_ = 0;
    std::int64_t framesLeftOut_ = 0;
    bool finished_ = false;
    bool finishedCleanly_ = false;
    std::string error_;
};

}  // namespace tavlomi
