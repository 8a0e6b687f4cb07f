#pragma once

// Where the overlay's text goes on a width x height screen: the help panel from the top-left
// corner over a darkened screen, the status lines upwards from the bottom-left corner, the
// newest lowest, each on its own dark strip.

#include <span>
#include <string>

#include "common/text_canvas.hpp"

namespace tavlomi {

// Distance from one text row to the next; rows are a glyph high with a pixel above and below.
constexpr int kOverlayLinePitch = TextCanvas::kGlyphHeight + 2;
// Distance of the text from the screen's left edge and of the help from the top edge.
constexpr int kOverlayInset = 2;

// How many glyphs fit on one row of a screen width wide (at least 1).
int overlayColumns(int width);

void paintHelp(TextCanvas& canvas, int width, int height, std::span<const std::string> lines);

void paintStatusLines(TextCanvas& canvas, int width, int height,
                      std::span<const std::string> lines);

}  // namespace tavlomi
