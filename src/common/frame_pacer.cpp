#include "common/frame_pacer.hpp"

#include <algorithm>

namespace tavlomi {

std::optional<std::int64_t> FramePacer::take(std::chrono::nanoseconds elapsed) {
    constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
    const std::int64_t nanos = std::max<std::int64_t>(elapsed.count(), 0);
    // Split into seconds and the rest so that the product cannot overflow.
    const std::int64_t interval = nanos / kNanosPerSecond * framesPerSecond_ +
                                  nanos % kNanosPerSecond * framesPerSecond_ / kNanosPerSecond;
    if (interval <= lastInterval_) return std::nullopt;
    lastInterval_ = interval;
    return interval;
}

}  // namespace tavlomi
