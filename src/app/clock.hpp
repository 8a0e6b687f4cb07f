#pragma once

// Milliseconds for things that stay on screen for a while. The toy reads wall time; the replay
// tool steps a fixed amount per frame so that its screens are the same on every run.

#include <chrono>
#include <cstdint>

namespace tavlomi {

class Clock {
  public:
    // Never decreases.
    virtual std::int64_t nowMilliseconds() const = 0;

  protected:
    ~Clock() = default;
};

// Wall time since construction.
class SteadyClock final : public Clock {
  public:
    std::int64_t nowMilliseconds() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Time that moves only when told: starts at 0.
class SteppedClock final : public Clock {
  public:
    std::int64_t nowMilliseconds() const override { return now_; }
    // milliseconds >= 0.
    void advance(std::int64_t milliseconds) { now_ += milliseconds; }

  private:
    std::int64_t now_ = 0;
};

}  // namespace tavlomi
