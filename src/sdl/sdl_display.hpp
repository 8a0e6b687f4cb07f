#pragma once

// The SDL 1.2 edge: the window or full screen, the effect surface, the event queue, and the
// overlay's text (SDL_gfx's built-in 8 x 8 font). In window mode sdl12-compat scales the window
// by the zoom, and maps the mouse back to screen pixels; full screen fills the desktop keeping
// the screen's aspect ratio.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/display.hpp"

struct SDL_Surface;

namespace tavlomi {

class SdlDisplay final : public Display, private Screen, private TextCanvas {
  public:
    // Initialises SDL's video and opens a 32-bit display of width x height; nullptr and a
    // reason in error when that fails. zoom (kMinZoom..kMaxZoom) sizes the window; 0 chooses
    // it from the desktop's size unless SDL12COMPAT_WINDOW_SCALING is already set.
    static std::unique_ptr<SdlDisplay> open(int width, int height, bool fullscreen, int zoom,
                                            std::string& error);
    ~SdlDisplay();
    SdlDisplay(const SdlDisplay&) = delete;
    SdlDisplay& operator=(const SdlDisplay&) = delete;

    bool pollEvent(InputEvent& event) override;
    void clearScreen() override;
    std::span<std::uint32_t> lockEffectSurface() override;
    void unlockEffectSurface() override;
    void blitEffectSurface(WorkerPool& pool) override;
    Screen& screen() override { return *this; }
    TextCanvas& textCanvas() override { return *this; }
    void present() override;
    void pause(int milliseconds) override;
    bool toggleFullScreen() override;
    bool fullscreen() const { return fullscreen_; }
    // Why toggleFullScreen() lost the display; empty while it is there.
    const std::string& lossReason() const { return lossReason_; }

    // Queues an event in SDL's own queue, as the window system would; false when it is full.
    // Key codes are SDL 1.2's, 1..322.
    static bool pushEvent(const InputEvent& event);
    // The screen's pixels as 0x00RRGGBB words, row-major, top row first, no row padding.
    void copyScreen(std::vector<std::uint32_t>& words);

    // Only open() builds displays; the key keeps the constructor usable by std::make_unique.
    class Key {
        friend class SdlDisplay;
        Key() = default;
    };
    SdlDisplay(Key, SDL_Surface* screen, SDL_Surface* effectSurface, bool fullscreen,
               bool showsNothing);

  private:
    void fillRect(ScreenRect rect, std::uint32_t color) override;
    void shade(ScreenRect rect) override;
    void drawText(int x, int y, std::string_view text) override;
    // Takes the screen SDL has now, after a mode change; false when there is none.
    bool adoptScreen();
    // Whether a blit of the effect surface to the screen copies its words unchanged into the
    // whole of the screen it covers, as one memcpy per row can.
    bool blitIsPlainCopy() const;

    // Owned by SDL; may change with toggleFullScreen().
    SDL_Surface* screen_;
    SDL_Surface* effectSurface_;
    bool fullscreen_;
    // SDL's dummy or offscreen driver, chosen explicitly through SDL_VIDEODRIVER.
    bool showsNothing_;
    // True when the screen's 32-bit layout is 0x00RRGGBB, the layout effects write.
    bool standardLayout_;
    std::string lossReason_;
};

}  // namespace tavlomi
