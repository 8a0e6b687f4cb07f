#pragma once

// Real-time stamps on a steady frame rate for an output such as a recording, which takes at most
// one frame per interval of its rate however fast the frame loop runs.

#include <chrono>
#include <cstdint>
#include <optional>

namespace tavlomi {

// Real-time stamps on a grid of 1 / framesPerSecond: a frame belongs to the interval its time
// falls in, and only the first frame of an interval is taken.
class FramePacer {
  public:
    // framesPerSecond > 0.
    explicit FramePacer(int framesPerSecond) : framesPerSecond_(framesPerSecond) {}

    // The interval index of a frame at elapsed (time since the recording began; negative counts
    // as 0), or nothing when a frame of that interval or a later one was already taken.
    std::optional<std::int64_t> take(std::chrono::nanoseconds elapsed);

  private:
    int framesPerSecond_;
    std::int64_t lastInterval_ = -1;
};

}  // namespace tavlomi
