#include "app/status_overlay.hpp"

namespace tavlomi {

StatusOverlay::StatusOverlay(StatusSink& passOn, const Clock& clock)
    : passOn_(passOn), clock_(clock) {}

void StatusOverlay::print(std::string_view line) {
    passOn_.print(line);
    show(line);
}

void StatusOverlay::show(std::string_view line) {
    const std::int64_t now = clock_.nowMilliseconds();
    while (!entries_.empty() && entries_.front().expiresAt <= now)
        entries_.pop_front();
    while (!line.empty()) {
        const std::size_t end = line.find('\n');
        const std::string_view piece = line.substr(0, end);
        if (!piece.empty()) entries_.push_back({std::string(piece), now + kLifetimeMilliseconds});
        line = end == std::string_view::npos ? std::string_view{} : line.substr(end + 1);
    }
    while (entries_.size() > kMaxLines)
        entries_.pop_front();
}

std::vector<std::string> StatusOverlay::visibleLines() const {
    const std::int64_t now = clock_.nowMilliseconds();
    std::vector<std::string> lines;
    for (const Entry& entry : entries_) {
        if (entry.expiresAt > now) lines.push_back(entry.text);
    }
    return lines;
}

}  // namespace tavlomi
