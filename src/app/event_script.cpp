#include "app/event_script.hpp"

#include <charconv>
#include <map>
#include <optional>

namespace tavlomi {

namespace {

constexpr long long kMaxCoordinate = 65535;
// SDL 1.2 key codes lie below SDLK_LAST.
constexpr long long kMaxKeyCode = 322;

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::optional<long long> parseNumber(std::string_view word, long long max) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || value < 0 || value > max) {
        return std::nullopt;
    }
    return value;
}

// Parses one non-blank, non-comment line; an empty optional with why set when malformed.
std::optional<ScriptedEvent> parseLine(std::string_view line, std::string& why) {
    const std::vector<std::string_view> words = splitWords(line);
    if (words.size() < 2) {
        why = "expected 'FRAME key CODE', 'FRAME down|up|move X Y' or 'FRAME quit'";
        return std::nullopt;
    }
    ScriptedEvent scripted;
    const std::optional<long long> frame = parseNumber(words[0], 1LL << 40);
    if (!frame) {
        why = "the frame '" + std::string(words[0]) + "' is not a frame number";
        return std::nullopt;
    }
    scripted.frame = *frame;
    const std::string_view kind = words[1];
    InputEvent& event = scripted.event;
    if (kind == "quit") {
        if (words.size() != 2) {
            why = "'quit' takes nothing after it";
            return std::nullopt;
        }
        event.type = InputEvent::Type::Quit;
    } else if (kind == "key") {
        const std::optional<long long> code =
            words.size() == 3 ? parseNumber(words[2], kMaxKeyCode) : std::nullopt;
        if (!code || *code == 0) {
            why = "'key' takes one SDL key code from 1 to " + std::to_string(kMaxKeyCode);
            return std::nullopt;
        }
        event.type = InputEvent::Type::KeyDown;
        event.key = static_cast<int>(*code);
    } else if (kind == "down" || kind == "up" || kind == "move") {
        const std::optional<long long> x =
            words.size() == 4 ? parseNumber(words[2], kMaxCoordinate) : std::nullopt;
        const std::optional<long long> y =
            words.size() == 4 ? parseNumber(words[3], kMaxCoordinate) : std::nullopt;
        if (!x || !y) {
            why = "'" + std::string(kind) + "' takes two coordinates from 0 to 65535";
            return std::nullopt;
        }
        event.type = kind == "down" ? InputEvent::Type::MouseButtonDown
                     : kind == "up" ? InputEvent::Type::MouseButtonUp
                                    : InputEvent::Type::MouseMotion;
        event.x = static_cast<int>(*x);
        event.y = static_cast<int>(*y);
    } else {
        why = "unknown event '" + std::string(kind) + "'";
        return std::nullopt;
    }
    return scripted;
}

}  // namespace

EventScript parseEventScript(std::string_view text) {
    EventScript script;
    std::map<long long, int> perFrame;
    long long lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (splitWords(line).empty() || line.find_first_not_of(" \t") == line.find('#')) continue;
        std::string why;
        const std::optional<ScriptedEvent> scripted = parseLine(line, why);
        if (!scripted) {
            script.error = "line " + std::to_string(lineNumber) + ": " + why;
            script.events.clear();
            return script;
        }
        if (++perFrame[scripted->frame] > kMaxEventsPerFrame) {
            script.error = "line " + std::to_string(lineNumber) + ": more than " +
                           std::to_string(kMaxEventsPerFrame) + " events in frame " +
                           std::to_string(scripted->frame);
            script.events.clear();
            return script;
        }
        script.events.push_back(*scripted);
    }
    return script;
}

}  // namespace tavlomi
