#include "app/help_text.hpp"

#include <algorithm>
#include <cstddef>

#include "app/key_help.hpp"

namespace tavlomi {

namespace {

// Below this many columns a key and its action no longer share a line.
constexpr int kMinColumnsSideBySide = 36;
// Indent of the action under its key when they do not share a line.
constexpr int kStackedIndent = 2;

int keyColumnWidth() {
    std::size_t widest = 0;
    for (const KeyHelp& entry : kKeyHelp)
        widest = std::max(widest, entry.keys.size());
    return static_cast<int>(widest) + 2;
}

// Each line of text wrapped to columns - indent, after prefix on the first line and indent
// spaces on the others (prefix is padded or cut to indent characters).
void appendIndented(std::vector<std::string>& lines, std::string_view prefix, std::string_view text,
                    int columns, int indent) {
    if (columns - indent < 1) indent = 0;
    std::string first(prefix.substr(0, static_cast<std::size_t>(indent)));
    first.resize(static_cast<std::size_t>(indent), ' ');
    bool isFirst = true;
    for (const std::string& piece : wrapText(text, columns - indent)) {
        lines.push_back((isFirst ? first : std::string(static_cast<std::size_t>(indent), ' ')) +
                        piece);
        isFirst = false;
    }
}

}  // namespace

std::string effectDescription(const Toy& toy) {
    switch (toy.currentEffectIndex()) {
        case 1: {
            const WaterEffect& water = toy.waterEffect();
            return std::string("2 water: ") +
                   (water.respondToBall() ? "follows the ball" : "follows the motion") +
                   (water.frozen() ? ", frozen" : "");
        }
        case 2: {
            const FireEffect& fire = toy.fireEffect();
            return std::string("3 fire: ") +
                   (fire.respondToBall() ? "follows the ball" : "follows the motion") +
                   (fire.paletteIndex() == 0 ? ", fire palette" : ", blue palette");
        }
        default:
            return "1 plain view";
    }
}

std::vector<std::string> helpLines(const Toy& toy, int columns, std::string_view virtualCamera) {
    columns = std::max(columns, 1);
    std::vector<std::string> lines = wrapText("Keys (F1 hides them)", columns);
    const bool sideBySide = columns >= kMinColumnsSideBySide;
    const auto entry = [&](std::string_view name, std::string_view text) {
        if (sideBySide) {
            appendIndented(lines, name, text, columns, keyColumnWidth());
        } else {
            appendIndented(lines, {}, name, columns, 0);
            appendIndented(lines, {}, text, columns, kStackedIndent);
        }
    };
    for (const KeyHelp& key : kKeyHelp)
        entry(key.keys, key.action);
    lines.emplace_back();
    entry("Effect", effectDescription(toy));
    entry("Threshold", std::to_string(toy.motionThreshold()));
    if (!virtualCamera.empty())
        entry("Camera out", "virtual camera on: " + std::string(virtualCamera));
    return lines;
}

std::vector<std::string> wrapText(std::string_view text, int columns) {
    const std::size_t width = static_cast<std::size_t>(std::max(columns, 1));
    std::vector<std::string> lines;
    std::string line;
    std::size_t pos = text.find_first_not_of(' ');
    while (pos != std::string_view::npos) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        std::string_view word = text.substr(pos, end - pos);
        pos = text.find_first_not_of(' ', end);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(std::move(line));
            line.clear();
        } else if (!line.empty()) {
            line += ' ';
        }
        while (line.size() + word.size() > width) {
            const std::size_t room = width - line.size();
            line += word.substr(0, room);
            word.remove_prefix(room);
            lines.push_back(std::move(line));
            line.clear();
        }
        line += word;
    }
    if (!line.empty() || lines.empty()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace tavlomi
