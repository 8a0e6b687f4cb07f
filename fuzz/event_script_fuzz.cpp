// libFuzzer target: the replay tool's event script parser on arbitrary text. Beyond not
// crashing, every accepted script must hold only well-formed events within their ranges, a
// refused one must name its line and keep no events, and an accepted script written back out
// in the plain form must parse to the same events.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "app/event_script.hpp"
#include "support/fuzz_checks.hpp"

namespace {

using namespace tavlomi;

std::string plainLine(const ScriptedEvent& scripted) {
    const InputEvent& event = scripted.event;
    const std::string frame = std::to_string(scripted.frame);
    const std::string at = std::to_string(event.x) + " " + std::to_string(event.y);
    switch (event.type) {
        case InputEvent::Type::KeyDown:
            return frame + " key " + std::to_string(event.key) + "\n";
        case InputEvent::Type::MouseButtonDown:
            return frame + " down " + at + "\n";
        case InputEvent::Type::MouseButtonUp:
            return frame + " up " + at + "\n";
        case InputEvent::Type::MouseMotion:
            return frame + " move " + at + "\n";
        case InputEvent::Type::Quit:
            return frame + " quit\n";
        case InputEvent::Type::Other:
            break;
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const EventScript script = parseEventScript(text);
    if (!script.error.empty()) {
        require(script.events.empty(), "a refused script kept events");
        require(script.error.rfind("line ", 0) == 0, "an error does not name its line");
        return 0;
    }

    std::map<long long, int> perFrame;
    std::string written;
    for (const ScriptedEvent& scripted : script.events) {
        const InputEvent& event = scripted.event;
        require(scripted.frame >= 0, "a negative frame");
        require(++perFrame[scripted.frame] <= kMaxEventsPerFrame, "too many events in a frame");
        switch (event.type) {
            case InputEvent::Type::KeyDown:
                require(event.key >= 1 && event.key <= 322, "a key code out of range");
                break;
            case InputEvent::Type::MouseButtonDown:
            case InputEvent::Type::MouseButtonUp:
            case InputEvent::Type::MouseMotion:
                require(event.x >= 0 && event.x <= 65535 && event.y >= 0 && event.y <= 65535,
                        "a coordinate out of range");
                break;
            case InputEvent::Type::Quit:
                break;
            case InputEvent::Type::Other:
                require(false, "an event of no kind");
                break;
        }
        written += plainLine(scripted);
    }

    // Events of no kind write no line, so a lost event shows as a shorter text.
    std::string rewritten;
    for (const ScriptedEvent& scripted : parseEventScript(written).events)
        rewritten += plainLine(scripted);
    require(rewritten == written, "a script written back out parses to other events");
    return 0;
}
