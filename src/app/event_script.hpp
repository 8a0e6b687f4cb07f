#pragma once

// The replay tool's event script: one event a line, "F key CODE", "F down X Y", "F up X Y",
// "F move X Y" or "F quit", where F is the 0-based frame whose event processing sees the event.
// Blank lines and lines starting with '#' are ignored.

#include <string>
#include <string_view>
#include <vector>

#include "common/input_event.hpp"

namespace tavlomi {

struct ScriptedEvent {
    long long frame = 0;
    InputEvent event;
};

// The most events one frame may carry: they all have to fit in the window system's queue.
constexpr int kMaxEventsPerFrame = 64;

struct EventScript {
    // In file order, which is the order they are queued in within a frame.
    std::vector<ScriptedEvent> events;
    // Non-empty when a line is malformed: names the line and what is wrong.
    std::string error;
};

EventScript parseEventScript(std::string_view text);

}  // namespace tavlomi
