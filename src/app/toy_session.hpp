#pragma once

// The toy put together as every shell runs it: status lines go to standard output and into the
// overlay, the toy reads the shell's picture source, and the frame loop draws on the shell's
// display. The desktop toy, the replay tool and a browser shell differ only in what they hand in
// and in how often they run a frame.

#include "app/clock.hpp"
#include "app/frame_loop.hpp"
#include "app/status_overlay.hpp"
#include "app/stdout_status.hpp"
#include "app/toy.hpp"

namespace tavlomi {

class ToySession final {
  public:
    // display, source and clock must outlive the session; the grid is width x height.
    // pauseMilliseconds is the sleep after each frame.
    ToySession(Display& display, FrameSource& source, const Clock& clock, int width, int height,
               int pauseMilliseconds)
        : overlay_(stdout_, clock),
          toy_(width, height, source, overlay_),
          loop_(display, toy_, pauseMilliseconds) {}
    ToySession(const ToySession&) = delete;
    ToySession& operator=(const ToySession&) = delete;

    FrameLoop& loop() { return loop_; }
    // Every status line passes through it; show() puts notices of the shell's own beside them.
    StatusOverlay& overlay() { return overlay_; }
    // From the next frame on, the status lines and the F1 help are drawn over the picture.
    void showOverlay() { loop_.showOverlay(&overlay_); }

  private:
    StdoutStatus stdout_;
    StatusOverlay overlay_;
    Toy toy_;
    FrameLoop loop_;
};

}  // namespace tavlomi
