#pragma once

// The replay tool (tavlomi-replay) as a whole: its command line, the clip and the event script,
// the toy run for a fixed number of frames, and every screen written out. Each shell that has a
// replay tool hands in only the display it draws on, so that the desktop's and the browser's
// replays take the same arguments, print the same lines and exit with the same statuses.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/display.hpp"
#include "common/input_event.hpp"

namespace tavlomi {

// A display that shows nothing and draws everything, as a replay needs it: events go into its
// queue as the window system's would, and the screen can be read back after each frame.
class ReplayDisplay {
  public:
    virtual ~ReplayDisplay() = default;

    virtual Display& display() = 0;
    // Queues event for the next frame's pollEvent(); false when the queue is full.
    virtual bool pushEvent(const InputEvent& event) = 0;
    // The screen as the frame left it: width * height words 0x00RRGGBB, top row first.
    virtual void copyScreen(std::vector<std::uint32_t>& words) = 0;
};

// Opens a width x height display; nullptr and the reason in error when that fails.
using ReplayDisplayOpener =
    std::function<std::unique_ptr<ReplayDisplay>(int width, int height, std::string& error)>;

// The replay tool's main: argv as the process got it; the process's exit status (0, 1 when
// something it needs cannot be had or written, 2 for a bad command line or bad input).
// openDisplay is called once, after the inputs are read and before the first frame.
int runReplayTool(int argc, char** argv, const ReplayDisplayOpener& openDisplay);

}  // namespace tavlomi
