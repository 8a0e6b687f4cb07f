#include "common/window_zoom.hpp"

#include <algorithm>
#include <cstdint>

namespace tavlomi {

namespace {
constexpr std::int64_t kSharePercent = 60;
}

int chooseZoom(int gridWidth, int gridHeight, int desktopWidth, int desktopHeight) {
    if (gridWidth <= 0 || gridHeight <= 0 || desktopWidth <= 0 || desktopHeight <= 0) {
        return kMinZoom;
    }
    const std::int64_t byWidth = desktopWidth * kSharePercent / 100 / gridWidth;
    const std::int64_t byHeight = desktopHeight * kSharePercent / 100 / gridHeight;
    return static_cast<int>(
        std::clamp<std::int64_t>(std::min(byWidth, byHeight), kMinZoom, kMaxZoom));
}

}  // namespace tavlomi
