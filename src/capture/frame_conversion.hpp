#pragma once

// Conversion of a frame buffer into the RgbGrid and LumaGrid: the picture turned upright and
// mirrored left to right, plus one luminance value per cell.

#include <cstdint>
#include <span>

#include "common/grid.hpp"
#include "common/int_math.hpp"
#include "common/simd_level.hpp"

namespace tavlomi {

// Truncated 0.212671 R + 0.71516 G + 0.071169 B with the coefficients as 32-bit floats and the
// sum formed in double precision; 0..254 (the coefficients sum to 0.999).
int luminance(int r, int g, int b);

// The same value in 32-bit integer arithmetic. The coefficients are exactly 28544218, 95987152
// and 9552141 / 2^27, so the luminance is floor(N / 2^27) for an integer N of up to 35 bits.
// Splitting each numerator at bit 15 into high * 2^15 + low keeps every partial sum below 2^24:
// floor((2^15 H + L) / 2^27) = floor((H + floor(L / 2^15)) / 2^12) for H, L >= 0.
// Channels 0..255.
constexpr int luminanceFixed(int r, int g, int b) {
    const int high = 871 * r + 2929 * g + 291 * b;
    const int low = 3290 * r + 9680 * g + 16653 * b;
    return asr(high + asr(low, 15), 12);
}

// Cell k takes frame pixel cellCount - 1 - k. frame holds 3 * rgb.size() bytes; luma has as
// many cells as rgb. One pixel at a time with luminance(): the reference.
void convertFrameReference(std::span<const std::uint8_t> frame, std::span<RgbCell> rgb,
                           std::span<std::uint8_t> luma);

// The same conversion at one instruction level, in exact integer arithmetic: luminanceFixed on
// eight pixels at a time with AVX2, table lookups of the same numerators in portable code.
struct FrameConversionKernels {
    decltype(&convertFrameReference) convert;
};
// level must be one this processor supports.
const FrameConversionKernels& frameConversionKernels(SimdLevel level);

}  // namespace tavlomi
