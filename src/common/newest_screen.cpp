#include "common/newest_screen.hpp"

#include <utility>

namespace tavlomi {

NewestScreen::NewestScreen(std::size_t words) : words_(words), waiting_(words) {}

bool NewestScreen::put(std::vector<std::uint32_t>& screen) {
    if (screen.size() != words_) return false;
    const std::lock_guard<std::mutex> lock(mutex_);
    std::swap(screen, waiting_);
    fresh_ = true;
    return true;
}

bool NewestScreen::take(std::vector<std::uint32_t>& screen) {
    if (screen.size() != words_) return false;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!fresh_) return false;
    std::swap(screen, waiting_);
    fresh_ = false;
    return true;
}

}  // namespace tavlomi
