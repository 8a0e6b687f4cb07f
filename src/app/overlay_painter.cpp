#include "app/overlay_painter.hpp"

#include <algorithm>
#include <cstdint>

namespace tavlomi {

namespace {

// ScreenRect's fields are 16-bit; grids are at most 16383 wide, texts may be longer.
ScreenRect rectOf(int x, int y, int w, int h) {
    const auto side = [](int value) {
        return static_cast<std::uint16_t>(std::clamp(value, 0, 65535));
    };
    return {static_cast<std::int16_t>(std::clamp(x, -32768, 32767)),
            static_cast<std::int16_t>(std::clamp(y, -32768, 32767)), side(w), side(h)};
}

int textWidth(const std::string& text) {
    return static_cast<int>(std::min<std::size_t>(text.size(), 65535)) * TextCanvas::kGlyphWidth;
}

}  // namespace

int overlayColumns(int width) {
    return std::max(1, (width - 2 * kOverlayInset) / TextCanvas::kGlyphWidth);
}

void paintHelp(TextCanvas& canvas, int width, int height, std::span<const std::string> lines) {
    canvas.shade(rectOf(0, 0, width, height));
    int y = kOverlayInset + 1;
    for (const std::string& line : lines) {
        if (y >= height) break;
        if (!line.empty()) canvas.drawText(kOverlayInset, y, line);
        y += kOverlayLinePitch;
    }
}

void paintStatusLines(TextCanvas& canvas, int width, int height,
                      std::span<const std::string> lines) {
    const int count = static_cast<int>(lines.size());
    for (int i = 0; i < count; ++i) {
        const int stripTop = height - (count - i) * kOverlayLinePitch;
        if (stripTop + kOverlayLinePitch <= 0) continue;
        const std::string& line = lines[static_cast<std::size_t>(i)];
        canvas.shade(rectOf(0, stripTop, std::min(width, textWidth(line) + 2 * kOverlayInset),
                            kOverlayLinePitch));
        canvas.drawText(kOverlayInset, stripTop + 1, line);
    }
}

}  // namespace tavlomi
