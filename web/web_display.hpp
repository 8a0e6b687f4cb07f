#pragma once

// The browser's display: the screen and the effect surface as plain memory, an event queue that
// the page's key and mouse handlers (or the replay's script) fill, and the overlay's text in the
// same 8 x 8 glyphs and the same darkening as the desktop, so that every screen matches the
// desktop's word for word. The page copies the screen into its canvas on present(); under Node
// nothing is shown and everything is drawn.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "common/display.hpp"

namespace tavlomi {

class WebDisplay final : public Display, private Screen, private TextCanvas {
  public:
    // What the page does with the display; either may be empty (the replay's display shows
    // nothing and has no full screen to go to).
    struct PageHooks {
        // Called with the finished screen, width * height words 0x00RRGGBB, top row first.
        std::function<void(std::span<const std::uint32_t>)> present;
        std::function<void()> toggleFullScreen;
    };

    // Events the queue holds before pushEvent() refuses more: a frame's worth of the busiest
    // mouse, with room to spare.
    static constexpr std::size_t kMaxQueuedEvents = 1024;

    // width and height from 1 up; both surfaces start black.
    WebDisplay(int width, int height, PageHooks hooks);

    // Queues an event for pollEvent(); false, queueing nothing, when the queue is full.
    bool pushEvent(const InputEvent& event);
    // The screen's words 0x00RRGGBB as the frame loop left them, row-major, top row first.
    std::span<const std::uint32_t> screenPixels() const { return screen_; }
    int width() const { return width_; }
    int height() const { return height_; }

    bool pollEvent(InputEvent& event) override;
    // The effect surface always covers the whole screen, so nothing is left to clear.
    void clearScreen() override {}
    std::span<std::uint32_t> lockEffectSurface() override { return effectSurface_; }
    void unlockEffectSurface() override {}
    void blitEffectSurface(WorkerPool& pool) override;
    Screen& screen() override { return *this; }
    TextCanvas& textCanvas() override { return *this; }
    void present() override;
    // The browser paces frames itself; a page must never block.
    void pause(int) override {}
    // The browser switches on its own time and keeps the canvas whatever it decides: the display
    // is never lost.
    bool toggleFullScreen() override;

  private:
    void fillRect(ScreenRect rect, std::uint32_t color) override;
    void shade(ScreenRect rect) override;
    void drawText(int x, int y, std::string_view text) override;

    struct Span2d {
        int x0, y0, x1, y1;  // half-open, within the screen; empty when x0 >= x1 or y0 >= y1
    };
    Span2d clipped(int x, int y, int w, int h) const;

    int width_;
    int height_;
    PageHooks hooks_;
    std::vector<std::uint32_t> screen_;
    std::vector<std::uint32_t> effectSurface_;
    std::deque<InputEvent> events_;
};

}  // namespace tavlomi
