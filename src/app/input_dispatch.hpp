#pragma once

// Turns window-system events into the toy's commands: quit, the motion threshold, the effect
// choice, dragging the ball, the shell's own keys (F1, F11, F12), and every other key for the
// current effect.

#include "common/input_event.hpp"

namespace tavlomi {

// The commands events turn into; the toy carries them out.
class InputTarget {
  public:
    virtual void adjustThreshold(bool up) = 0;
    // index 0, 1 or 2 of the effect table.
    virtual void selectEffect(int index) = 0;
    virtual void passKey(int key) = 0;
    virtual void placeBall(int x, int y) = 0;
    // The shell's keys; none of them reaches the effect.
    virtual void toggleHelp() = 0;
    virtual void toggleFullScreen() = 0;
    virtual void snapshot() = 0;

  protected:
    ~InputTarget() = default;
};

class InputDispatch {
  public:
    enum class Outcome { Continue, Quit };

    // Handles one event; Quit means the program ends now, before any later event is handled.
    Outcome handle(const InputEvent& event, InputTarget& toy);
    bool dragging() const { return dragging_; }

  private:
    Outcome dispatchKey(int key, InputTarget& toy);

    // True while a mouse button is held after a press inside the window.
    bool dragging_ = false;
};

}  // namespace tavlomi
