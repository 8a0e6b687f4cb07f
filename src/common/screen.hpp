#pragma once

// The display surface as the ball sees it: a target for solid rectangles.

#include <cstdint>

namespace tavlomi {

// SDL_Rect's field types: x, y signed 16-bit; w, h unsigned 16-bit.
struct ScreenRect {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::uint16_t w = 0;
    std::uint16_t h = 0;
};

class Screen {
  public:
    // Fill rect (clipped to the screen, as SDL_FillRect does) with a raw pixel value.
    virtual void fillRect(ScreenRect rect, std::uint32_t color) = 0;

  protected:
    ~Screen() = default;
};

}  // namespace tavlomi
