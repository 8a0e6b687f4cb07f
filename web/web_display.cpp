#include "web_display.hpp"

#include <algorithm>
#include <utility>

#include "common/int_math.hpp"
#include "vga_glyphs.hpp"

namespace tavlomi {

namespace {

// The desktop lays black at opacity 160/256 under overlay text: a channel keeps 96/256 of
// itself, rounded down. The darkened pixel's top byte is 0, as on the desktop's screen.
constexpr int kShadeKeep = 96;
constexpr int shadedChannel(int channel) {
    return asr(channel * kShadeKeep, 8);
}
constexpr std::uint32_t shadedPixel(std::uint32_t pixel) {
    const auto channel = [pixel](int shift) {
        return static_cast<std::uint32_t>(shadedChannel(static_cast<int>(pixel >> shift & 0xFF)))
               << shift;
    };
    return channel(16) | channel(8) | channel(0);
}
static_assert(shadedPixel(0xFFFF00FF) == 0x005F005F);

constexpr std::uint32_t kTextColor = 0x00FFFFFF;

}  // namespace

WebDisplay::WebDisplay(int width, int height, PageHooks hooks)
    : width_(width),
      height_(height),
      hooks_(std::move(hooks)),
      screen_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
      effectSurface_(screen_.size()) {}

bool WebDisplay::pushEvent(const InputEvent& event) {
    if (events_.size() >= kMaxQueuedEvents) return false;
    events_.push_back(event);
    return true;
}

bool WebDisplay::pollEvent(InputEvent& event) {
    if (events_.empty()) return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

void WebDisplay::blitEffectSurface(WorkerPool& pool) {
    // Word for word, the top byte too, as a blit between surfaces of one layout copies it.
    pool.forEachCellRun(
        static_cast<int>(screen_.size()), [&](std::size_t first, std::size_t count) {
            std::copy_n(effectSurface_.begin() + static_cast<std::ptrdiff_t>(first), count,
                        screen_.begin() + static_cast<std::ptrdiff_t>(first));
        });
}

void WebDisplay::present() {
    if (hooks_.present) hooks_.present(screen_);
}

bool WebDisplay::toggleFullScreen() {
    if (hooks_.toggleFullScreen) hooks_.toggleFullScreen();
    return true;
}

WebDisplay::Span2d WebDisplay::clipped(int x, int y, int w, int h) const {
    return {std::max(x, 0), std::max(y, 0), std::min(x + w, width_), std::min(y + h, height_)};
}

void WebDisplay::fillRect(ScreenRect rect, std::uint32_t color) {
    const Span2d area = clipped(rect.x, rect.y, rect.w, rect.h);
    for (int y = area.y0; y < area.y1; ++y) {
        const auto row = screen_.begin() + static_cast<std::ptrdiff_t>(y) * width_;
        std::fill(row + area.x0, row + std::max(area.x0, area.x1), color);
    }
}

void WebDisplay::shade(ScreenRect rect) {
    const Span2d area = clipped(rect.x, rect.y, rect.w, rect.h);
    for (int y = area.y0; y < area.y1; ++y) {
        for (int x = area.x0; x < area.x1; ++x) {
            std::uint32_t& pixel = screen_[static_cast<std::size_t>(y) * width_ + x];
            pixel = shadedPixel(pixel);
        }
    }
}

void WebDisplay::drawText(int x, int y, std::string_view text) {
    // A NUL ends the text, as it ends the desktop's C string.
    text = text.substr(0, text.find('\0'));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph& glyph = kVgaGlyphs[static_cast<unsigned char>(text[i])];
        const int left = x + static_cast<int>(i) * kGlyphWidth;
        if (left >= width_) break;
        const Span2d area = clipped(left, y, kGlyphWidth, kGlyphHeight);
        for (int py = area.y0; py < area.y1; ++py) {
            const unsigned bits = glyph[static_cast<std::size_t>(py - y)];
            for (int px = area.x0; px < area.x1; ++px) {
                if ((bits << (px - left) & 0x80) != 0) {
                    screen_[static_cast<std::size_t>(py) * width_ + px] = kTextColor;
                }
            }
        }
    }
}

}  // namespace tavlomi
