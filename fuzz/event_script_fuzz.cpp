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

using Type = InputEvent::Type;

// An event in the script's plain form: "F key K", "F move X Y", "F down X Y", "F up X Y", "F quit".
std::string plainLine(const ScriptedEvent& scripted) {
    const InputEvent& event = scripted.event;
    const char* words[] = {"", " key ", " move ", " down ", " up ", " quit"};
    if (event.type == Type::Other) return {};
    std::string line = std::to_string(scripted.frame) + words[static_cast<int>(event.type)];
    if (event.type == Type::KeyDown) return line + std::to_string(event.key) + "\n";
    if (event.type == Type::Quit) return line + "\n";
    return line + std::to_string(event.x) + " " + std::to_string(event.y) + "\n";
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
        require(event.type != Type::Other, "an event of no kind");
        require(event.type != Type::KeyDown || (event.key >= 1 && event.key <= 322),
                "a key code out of range");
        // Keys and quits carry (0, 0).
        require(event.x >= 0 && event.x <= 65535 && event.y >= 0 && event.y <= 65535,
                "a coordinate out of range");
        written += plainLine(scripted);
    }

    // Events of no kind write no line, so a lost event shows as a shorter text.
    std::string rewritten;
    for (const ScriptedEvent& scripted : parseEventScript(written).events)
        rewritten += plainLine(scripted);
    require(rewritten == written, "a script written back out parses to other events");
    return 0;
}
