#pragma once

// The toy put together as every shell runs it: status lines go to standard output and into the
// overlay, the toy reads the shell's picture source, and the frame loop draws on the shell's
// display. The desktop toy, the replay tool and a browser shell differ only in what they hand in
// and in how often they run a frame.

#include <optional>

#include "app/clock.hpp"
#include "app/frame_loop.hpp"
#include "app/status_overlay.hpp"
#include "app/stdout_status.hpp"
#include "app/toy.hpp"

namespace tavlomi {

class ToySession final {
  public:
    // clock must outlive the session.
    explicit ToySession(const Clock& clock) : overlay_(stdout_, clock) {}
    ToySession(const ToySession&) = delete;
    ToySession& operator=(const ToySession&) = delete;

    // Every status line passes through it, from the start, so that a picture source opened
    // before the toy can report to it; show() puts notices of the shell's own beside them.
    StatusOverlay& overlay() { return overlay_; }

    // Builds the toy, width x height, on source and its frame loop on display, once; both must
    // outlive the frames run. pauseMilliseconds is the sleep after each frame. showOverlay draws
    // the status lines and the F1 help over the picture. threadCount (1..WorkerPool::kMaxThreads)
    // threads run the grid loops.
    FrameLoop& start(Display& display, FrameSource& source, int width, int height,
                     int pauseMilliseconds, bool showOverlay, int threadCount = 1) {
        toy_.emplace(width, height, source, overlay_, threadCount);
        loop_.emplace(display, *toy_, pauseMilliseconds);
        if (showOverlay) loop_->showOverlay(&overlay_);
        return *loop_;
    }

  private:
    StdoutStatus stdout_;
    StatusOverlay overlay_;
    std::optional<Toy> toy_;
    std::optional<FrameLoop> loop_;
};

}  // namespace tavlomi
