#pragma once

// The 8 x 8 glyphs of the VGA text font, the font the desktop's overlay draws with, one per byte
// value. Each glyph is 8 rows, top row first; the row's most significant bit is its leftmost
// pixel. The table is made at build time from the console font Debian installs (vga_glyphs.py).

#include <array>
#include <cstdint>

namespace tavlomi {

using Glyph = std::array<std::uint8_t, 8>;

extern const std::array<Glyph, 256> kVgaGlyphs;

}  // namespace tavlomi
