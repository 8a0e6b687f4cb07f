#pragma once

// What the frame loop needs of the display: the event queue, the effect surface, the screen and
// the text over it, and the switch to full screen. The SDL edge implements it; tests use a fake.

#include <cstdint>
#include <span>

#include "common/input_event.hpp"
#include "common/screen.hpp"
#include "common/text_canvas.hpp"
#include "common/worker_pool.hpp"

namespace tavlomi {

class Display {
  public:
    // Takes the next queued event; false when the queue is empty.
    virtual bool pollEvent(InputEvent& event) = 0;

    virtual void clearScreen() = 0;
    // The effect surface's gridWidth * gridHeight words, valid until unlockEffectSurface().
    virtual std::span<std::uint32_t> lockEffectSurface() = 0;
    virtual void unlockEffectSurface() = 0;
    // Unscaled copy of the effect surface to the screen's top-left corner; a display may split
    // the copy into bands of rows on pool's threads.
    virtual void blitEffectSurface(WorkerPool& pool) = 0;
    virtual Screen& screen() = 0;
    // The same screen, for the overlay's text; draw on it after the ball.
    virtual TextCanvas& textCanvas() = 0;
    virtual void present() = 0;
    virtual void pause(int milliseconds) = 0;
    // Between window and full screen; the screen keeps the grid's size (full screen scales it to
    // fit, keeping its aspect ratio) and the effect surface stays valid. A switch the window
    // system refuses leaves the mode as it was. False when neither mode could be set again: the
    // display is lost, and nothing may be drawn on it any more.
    virtual bool toggleFullScreen() = 0;

  protected:
    ~Display() = default;
};

}  // namespace tavlomi
