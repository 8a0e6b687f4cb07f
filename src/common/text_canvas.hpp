#pragma once

// What the overlay draws on: text in a fixed 8 x 8 font and darkened backdrops, on the screen
// after the effect picture and the ball.

#include <string_view>

#include "common/screen.hpp"

namespace tavlomi {

class TextCanvas {
  public:
    static constexpr int kGlyphWidth = 8;
    static constexpr int kGlyphHeight = 8;

    // Darkens rect (clipped to the screen) so that text over it reads on any picture.
    virtual void shade(ScreenRect rect) = 0;
    // White text, one glyph per byte, the first glyph's top-left corner at (x, y); clipped to
    // the screen.
    virtual void drawText(int x, int y, std::string_view text) = 0;

  protected:
    ~TextCanvas() = default;
};

}  // namespace tavlomi
