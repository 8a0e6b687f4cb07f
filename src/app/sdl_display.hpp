#pragma once

// The SDL 1.2 edge: the window or full screen, the effect surface and the event queue.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/display.hpp"

struct SDL_Surface;

namespace tavlomi {

class SdlDisplay final : public Display, private Screen {
  public:
    // Initialises SDL's video and opens a 32-bit display of width x height; nullptr and a
    // reason in error when that fails.
    static std::unique_ptr<SdlDisplay> open(int width, int height, bool fullscreen,
                                            std::string& error);
    ~SdlDisplay();
    SdlDisplay(const SdlDisplay&) = delete;
    SdlDisplay& operator=(const SdlDisplay&) = delete;

    bool pollEvent(InputEvent& event) override;
    void clearScreen() override;
    std::span<std::uint32_t> lockEffectSurface() override;
    void unlockEffectSurface() override;
    void blitEffectSurface() override;
    Screen& screen() override { return *this; }
    void present() override;
    void pause(int milliseconds) override;

    // Queues an event in SDL's own queue, as the window system would; false when it is full.
    static bool pushEvent(const InputEvent& event);
    // The screen's pixels as 0x00RRGGBB words, row-major, top row first, no row padding.
    void copyScreen(std::vector<std::uint32_t>& words);

    // Only open() builds displays; the key keeps the constructor usable by std::make_unique.
    class Key {
        friend class SdlDisplay;
        Key() = default;
    };
    SdlDisplay(Key, SDL_Surface* screen, SDL_Surface* effectSurface, bool fullscreen);

  private:
    void fillRect(ScreenRect rect, std::uint32_t color) override;

    SDL_Surface* screen_;
    SDL_Surface* effectSurface_;
    bool fullscreen_;
    // True when the screen's 32-bit layout is 0x00RRGGBB, the layout effects write.
    bool standardLayout_;
};

}  // namespace tavlomi
