#!/usr/bin/env python3
"""Writes the C++ table of web/vga_glyphs.hpp from an 8 x 8 PC Screen Font (PSF 1 or 2, gzipped).

    vga_glyphs.py FONT.psf.gz OUT.cpp

The console's VGA font has the very glyphs the desktop's overlay draws for printable ASCII, so
the page's text matches the desktop's pixel for pixel. The first 256 glyphs are taken in order.
"""
import gzip
import struct
import sys

PSF1_MAGIC = b"\x36\x04"
PSF2_MAGIC = b"\x72\xb5\x4a\x86"


def glyph_rows(data):
    """The font's glyphs as lists of 8 row bytes; raises ValueError for anything but 8 x 8."""
    if data[:2] == PSF1_MAGIC:
        count = 512 if data[2] & 1 else 256
        height, offset, size, width = data[3], 4, data[3], 8
    elif data[:4] == PSF2_MAGIC:
        offset, _, count, size, height, width = struct.unpack("<6I", data[8:32])
    else:
        raise ValueError("not a PC Screen Font")
    if (width, height, size) != (8, 8, 8) or count < 256:
        raise ValueError(f"need 256 glyphs of 8 x 8, found {count} of {width} x {height}")
    if len(data) < offset + 256 * size:
        raise ValueError("the font file is cut short")
    return [list(data[offset + i * size:offset + (i + 1) * size]) for i in range(256)]


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: vga_glyphs.py FONT.psf.gz OUT.cpp\n")
        return 2
    try:
        with gzip.open(argv[1], "rb") as font:
            glyphs = glyph_rows(font.read())
    except (OSError, ValueError) as error:
        sys.stderr.write(f"vga_glyphs.py: {argv[1]}: {error}\n")
        return 1
    lines = ["// Made by web/vga_glyphs.py from " + argv[1] + ".",
             '#include "vga_glyphs.hpp"',
             "namespace tavlomi {",
             "const std::array<Glyph, 256> kVgaGlyphs{{"]
    lines += ["    {" + ", ".join(str(b) for b in rows) + "}," for rows in glyphs]
    lines += ["}};", "}  // namespace tavlomi", ""]
    with open(argv[2], "w", encoding="ascii") as out:
        out.write("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
