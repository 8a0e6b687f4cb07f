#pragma once

// Conversion of a frame buffer into the RgbGrid and LumaGrid: the picture turned upright and
// mirrored left to right, plus one luminance value per cell.

#include <cstdint>
#include <span>

#include "capture/frame_view.hpp"
#include "common/grid.hpp"
#include "common/row_range.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

// Truncated 0.212671 R + 0.71516 G + 0.071169 B with the coefficients as 32-bit floats and the
// sum formed in double precision; 0..254 (the coefficients sum to 0.999).
int luminance(int r, int g, int b);

// Grid rows `rows` (within 0..height-1) of a width x height frame: grid row y is the picture's
// row y from the top, mirrored, so cell (x, y) takes that row's pixel width - 1 - x. rgb and luma
// hold the whole grid, width * height cells; only the cells of those rows are written. One pixel
// at a time with luminance(): the reference.
void convertFrameReference(const FrameView& frame, int width, int height, RowRange rows,
                           std::span<RgbCell> rgb, std::span<std::uint8_t> luma);

// The same conversion at one instruction level, in exact integer arithmetic: split products on
// eight pixels at a time with AVX2, table lookups of the exact numerators in portable code.
struct FrameConversionKernels {
    decltype(&convertFrameReference) convert;
};
// level must be one this processor supports.
const FrameConversionKernels& frameConversionKernels(SimdLevel level);

}  // namespace tavlomi
