#include "effects/water_kernels.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/int_math.hpp"

#if TAVLOMI_X86_KERNELS
#include <immintrin.h>
#endif

namespace tavlomi {

namespace {

void propagateRow(const int* current, int* next, int width, int y, int xBegin, int xEnd,
                  int damping) {
    const int w = width;
    for (int x = xBegin; x < xEnd; ++x) {
        const int j = y * w + x;
        int s = 0;
        for (int neighbour :
             {j - w - 1, j - w, j - w + 1, j - 1, j + 1, j + w - 1, j + w, j + w + 1})
            s = wrap_add(s, current[neighbour]);
        const int v = wrap_sub(asr(s, 2), next[j]);
        next[j] = wrap_sub(v, div_trunc(v, damping));
    }
}

void copyBorderColumns(int* next, int width, int y) {
    const int row = y * width;
    next[row + width - 1] = next[row + width - 2];
    next[row] = next[row + 1];
}

void renderRow(const int* heights, const RgbCell* rgb, std::uint32_t* pixels, int width, int height,
               int y, int xBegin, int xEnd) {
    const int w = width;
    for (int x = xBegin; x < xEnd; ++x) {
        const int j = y * w + x;
        const int dx = wrap_sub(heights[j], heights[j + 1]);
        const int dy = wrap_sub(heights[j], heights[j + w]);
        const int sx = clamp_to(x + asr(dx, 3), 0, width - 1);
        const int sy = clamp_to(y + asr(dy, 3), 0, height - 1);
        const RgbCell& source = rgb[sy * w + sx];
        const int shade = asr(wrap_add(dx, dy), 1);
        pixels[j] = pixelWord(clamp_u8(source.r + shade), clamp_u8(source.g + shade),
                              clamp_u8(source.b + shade));
    }
}

}  // namespace

void waterSeedReference(std::span<const std::uint8_t> mask, std::span<int> heights, int depth) {
    for (std::size_t i = 0; i < heights.size(); ++i) {
        if (mask[i] != 0) heights[i] = depth;
    }
}

TAVLOMI_VECTOR_LOOP void waterSeed(std::span<const std::uint8_t> mask, std::span<int> heights,
                                   int depth) {
    // Most of a camera picture is still: 64 mask bytes without motion cost one test of eight
    // words. The compiler turns the select over a block with motion into vector blends.
    constexpr std::size_t kBlock = 64;
    const std::uint8_t* marks = mask.data();
    int* cells = heights.data();
    std::size_t i = 0;
    for (; i + kBlock <= heights.size(); i += kBlock) {
        std::uint64_t any = 0;
        for (std::size_t k = 0; k < kBlock; k += sizeof any) {
            std::uint64_t word;
            std::memcpy(&word, marks + i + k, sizeof word);
            any |= word;
        }
        if (any == 0) continue;
        for (std::size_t k = i; k < i + kBlock; ++k)
            cells[k] = marks[k] != 0 ? depth : cells[k];
    }
    waterSeedReference(mask.subspan(i), heights.subspan(i), depth);
}

void waterPropagateReference(std::span<const int> current, std::span<int> next, int width,
                             int height, int damping, RowRange rows) {
    // Without an interior there is nothing to ripple, and the border columns have no inner
    // neighbour to copy, so no cell is written.
    if (width < 3 || height < 3) return;
    const RowRange inner = rows.within(1, height - 1);
    for (int y = inner.begin; y < inner.end; ++y) {
        propagateRow(current.data(), next.data(), width, y, 1, width - 1, damping);
        copyBorderColumns(next.data(), width, y);
    }
}

void waterRenderReference(std::span<const int> heights, std::span<const RgbCell> rgb,
                          std::span<std::uint32_t> pixels, int width, int height, RowRange rows) {
    const RowRange shown = rows.within(0, height - 1);
    for (int y = shown.begin; y < shown.end; ++y)
        renderRow(heights.data(), rgb.data(), pixels.data(), width, height, y, 0, width - 1);
}

namespace {
constexpr WaterKernels kReference{waterPropagateReference, waterRenderReference};
}  // namespace

#if TAVLOMI_X86_KERNELS

namespace {

// Truncating division n / d of any int n by a fixed divisor d >= 2 as an unsigned
// 32 x 32 -> 64-bit multiply and a shift:
//   n / d = sign(n) * floor(multiplier * |n| / 2^(32 + shift)).
//
// For 0 <= a <= 2^31, multiplier * a / 2^(32 + shift) = a / d + excess * a / (d * 2^(32 + shift)),
// with excess = multiplier * d - 2^(32 + shift) the multiplier's rounding up. With
// excess < 2^(shift + 1), excess * a < 2^(32 + shift), so the second term is below 1 / d and
// cannot carry a / d, whose fractional part is at most (d - 1) / d, past the next integer: the
// floor is floor(a / d). Such a shift exists below 32 for every d >= 2: floor(log2 d) when d is
// not a power of two (excess < d <= 2^(shift + 1)), log2(d) - 1 when it is (excess 0).
struct MultiplyHigh {
    std::uint32_t multiplier = 0;
    int shift = 0;
};

MultiplyHigh multiplyHighFor(int divisor) {
    const std::uint64_t d = static_cast<std::uint64_t>(divisor);
    for (int shift = 0; shift < 32; ++shift) {
        const std::uint64_t power = std::uint64_t{1} << (32 + shift);
        const std::uint64_t multiplier = (power + d - 1) / d;
        const std::uint64_t excess = multiplier * d - power;
        if (multiplier <= 0xFFFFFFFFu && excess < (std::uint64_t{1} << (shift + 1)))
            return {static_cast<std::uint32_t>(multiplier), shift};
    }
    return {};
}

// Eight ints divided as above.
__attribute__((target("avx2"))) __m256i divideAvx2(__m256i n, __m256i multiplier, __m128i shift) {
    // |INT_MIN| stays 0x80000000, which the unsigned multiply reads as 2^31.
    const __m256i magnitude = _mm256_abs_epi32(n);
    const __m256i evenHigh = _mm256_srli_epi64(_mm256_mul_epu32(magnitude, multiplier), 32);
    const __m256i oddProduct = _mm256_mul_epu32(_mm256_srli_epi64(magnitude, 32), multiplier);
    const __m256i high = _mm256_blend_epi32(evenHigh, oddProduct, 0xAA);
    return _mm256_sign_epi32(_mm256_srl_epi32(high, shift), n);
}

__attribute__((target("avx2"))) __m256i load8(const int* cells) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells));
}

__attribute__((target("avx2"))) void propagateAvx2(std::span<const int> currentCells,
                                                   std::span<int> nextCells, int width, int height,
                                                   int damping, RowRange rows) {
    // Dampings below 2 have no multiply-high form; the toy uses 25.
    if (width < 3 || height < 3 || damping < 2) {
        waterPropagateReference(currentCells, nextCells, width, height, damping, rows);
        return;
    }
    const int* current = currentCells.data();
    int* next = nextCells.data();
    const MultiplyHigh divisor = multiplyHighFor(damping);
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int>(divisor.multiplier));
    const __m128i shift = _mm_cvtsi32_si128(divisor.shift);
    const int w = width;
    const RowRange inner = rows.within(1, height - 1);
    for (int y = inner.begin; y < inner.end; ++y) {
        const int* up = current + (y - 1) * w;
        const int* middle = current + y * w;
        const int* down = current + (y + 1) * w;
        int* out = next + y * w;
        int x = 1;
        for (; x + 8 <= w - 1; x += 8) {
            const __m256i above = _mm256_add_epi32(
                _mm256_add_epi32(load8(up + x - 1), load8(up + x)), load8(up + x + 1));
            const __m256i below = _mm256_add_epi32(
                _mm256_add_epi32(load8(down + x - 1), load8(down + x)), load8(down + x + 1));
            const __m256i sides = _mm256_add_epi32(load8(middle + x - 1), load8(middle + x + 1));
            const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(above, below), sides);
            __m256i* cell = reinterpret_cast<__m256i*>(out + x);
            const __m256i v = _mm256_sub_epi32(_mm256_srai_epi32(sum, 2), _mm256_loadu_si256(cell));
            _mm256_storeu_si256(cell, _mm256_sub_epi32(v, divideAvx2(v, multiplier, shift)));
        }
        propagateRow(current, next, width, y, x, w - 1, damping);
        copyBorderColumns(next, width, y);
    }
}

__attribute__((target("avx2"))) void renderAvx2(std::span<const int> heightCells,
                                                std::span<const RgbCell> rgbCells,
                                                std::span<std::uint32_t> pixelWords, int width,
                                                int height, RowRange rows) {
    const int* heights = heightCells.data();
    const RgbCell* rgb = rgbCells.data();
    std::uint32_t* pixels = pixelWords.data();
    const int w = width;
    const __m256i lastColumn = _mm256_set1_epi32(width - 1);
    const __m256i lastRow = _mm256_set1_epi32(height - 1);
    const __m256i rowLength = _mm256_set1_epi32(width);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i maxShade = _mm256_set1_epi32(255);
    const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    // Byte 0 of each lane into the lane's b, g and r bytes; the alpha byte gets 0.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1,
                                            0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1);
    const RowRange shown = rows.within(0, height - 1);
    for (int y = shown.begin; y < shown.end; ++y) {
        const int* row = heights + y * w;
        const __m256i rowIndex = _mm256_set1_epi32(y);
        const int span = w - 1;
        if (span < 8) {
            renderRow(heights, rgb, pixels, width, height, y, 0, span);
            continue;
        }
        for (int x = 0; x < span; x += 8) {
            // A row's last eight cells may overlap the eight before: they get the same words.
            x = std::min(x, span - 8);
            const __m256i here = load8(row + x);
            const __m256i right = load8(row + x + 1);
            const __m256i below = load8(row + x + w);
            const __m256i dx = _mm256_sub_epi32(here, right);
            const __m256i dy = _mm256_sub_epi32(here, below);
            const __m256i column = _mm256_add_epi32(_mm256_set1_epi32(x), steps);
            const __m256i sx = _mm256_min_epi32(
                _mm256_max_epi32(_mm256_add_epi32(column, _mm256_srai_epi32(dx, 3)), zero),
                lastColumn);
            const __m256i sy = _mm256_min_epi32(
                _mm256_max_epi32(_mm256_add_epi32(rowIndex, _mm256_srai_epi32(dy, 3)), zero),
                lastRow);
            const __m256i source = _mm256_add_epi32(_mm256_mullo_epi32(sy, rowLength), sx);
            // Where the eight sources are consecutive cells, as on still or evenly sloped water,
            // one load fetches them. Otherwise eight single loads, which beat the gather
            // instruction on AMD processors; the row-by-row order keeps the sources, rows near y,
            // in the caches.
            const int first = _mm256_cvtsi256_si32(source);
            const __m256i consecutive = _mm256_add_epi32(_mm256_set1_epi32(first), steps);
            __m256i picture;
            if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(source, consecutive)) == -1) {
                picture = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rgb + first));
            } else {
                alignas(32) int at[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(at), source);
                const auto word = [rgb](int index) {
                    return static_cast<int>(cellWord(rgb[index]));
                };
                picture = _mm256_setr_epi32(word(at[0]), word(at[1]), word(at[2]), word(at[3]),
                                            word(at[4]), word(at[5]), word(at[6]), word(at[7]));
            }
            // Adding the shade with byte saturation clamps each channel to 0..255 once the shade
            // itself is within -255..255.
            const __m256i shade = _mm256_srai_epi32(_mm256_add_epi32(dx, dy), 1);
            const __m256i lighter = _mm256_min_epi32(_mm256_max_epi32(shade, zero), maxShade);
            const __m256i darker =
                _mm256_min_epi32(_mm256_max_epi32(_mm256_sub_epi32(zero, shade), zero), maxShade);
            const __m256i lit =
                _mm256_subs_epu8(_mm256_adds_epu8(picture, _mm256_shuffle_epi8(lighter, spread)),
                                 _mm256_shuffle_epi8(darker, spread));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + y * w + x),
                                _mm256_or_si256(lit, opaque));
        }
    }
}

constexpr WaterKernels kAvx2{propagateAvx2, renderAvx2};

}  // namespace

const WaterKernels& waterKernels(SimdLevel level) {
    return level == SimdLevel::Avx2 ? kAvx2 : kReference;
}

#else

const WaterKernels& waterKernels(SimdLevel) {
    return kReference;
}

#endif

}  // namespace tavlomi
