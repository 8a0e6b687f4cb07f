#pragma once

// One frame of the toy, in its fixed order: events, capture and motion, ball, effect update,
// compose, pause. The real program and the replay tool both run frames through this.

#include "app/display.hpp"
#include "app/input_dispatch.hpp"
#include "app/toy.hpp"

namespace tavlomi {

class FrameLoop {
  public:
    // pauseMilliseconds is the sleep after each frame (10 for the toy, 0 for replays).
    FrameLoop(Display& display, Toy& toy, int pauseMilliseconds);

    // Runs one frame; false when an event ended the program (the frame stops there).
    bool runFrame();

  private:
    bool processEvents();
    void composeFrame();

    Display& display_;
    Toy& toy_;
    InputDispatch inputDispatch_;
    int pauseMilliseconds_;
};

}  // namespace tavlomi
