#include "capture/frame_conversion.hpp"

#include <array>
#include <cstddef>

#include "common/int_math.hpp"

#if TAVLOMI_X86_KERNELS
#include <immintrin.h>
#endif

namespace tavlomi {

namespace {

constexpr float kR = 0.212671f;
constexpr float kG = 0.71516f;
constexpr float kB = 0.071169f;

// The coefficients' exact values times 2^27, 28544218, 95987152 and 9552141: the luminance is
// floor(N / 2^27) for an integer N of up to 35 bits. The AVX2 loop splits them at bit 15.
constexpr std::uint64_t kRNumerator = 871 * 32768 + 3290;
constexpr std::uint64_t kGNumerator = 2929 * 32768 + 9680;
constexpr std::uint64_t kBNumerator = 291 * 32768 + 16653;
constexpr double kTwoTo27 = 134217728.0;
static_assert(static_cast<double>(kR) * kTwoTo27 == kRNumerator);
static_assert(static_cast<double>(kG) * kTwoTo27 == kGNumerator);
static_assert(static_cast<double>(kB) * kTwoTo27 == kBNumerator);

// Each channel's term of the luminance's exact numerator over 2^27, by channel value: three
// lookups and two additions, faster than the split products in scalar code.
constexpr std::array<std::uint64_t, 256> numeratorTerms(std::uint64_t coefficient) {
    std::array<std::uint64_t, 256> terms{};
    for (std::uint64_t value = 0; value < 256; ++value)
        terms[value] = coefficient * value;
    return terms;
}
constexpr auto kRTerms = numeratorTerms(kRNumerator);
constexpr auto kGTerms = numeratorTerms(kGNumerator);
constexpr auto kBTerms = numeratorTerms(kBNumerator);

// One picture row of rgb.size() pixels into as many cells, mirrored.
void convertRowPortable(const std::uint8_t* row, std::span<RgbCell> rgb,
                        std::span<std::uint8_t> luma) {
    const std::size_t cellCount = rgb.size();
    const std::uint8_t* pixel = row + 3 * cellCount;
    for (std::size_t k = 0; k < cellCount; ++k) {
        pixel -= 3;
        const std::uint8_t b = pixel[0];
        const std::uint8_t g = pixel[1];
        const std::uint8_t r = pixel[2];
        rgb[k] = makeRgbCell(r, g, b);
        luma[k] = static_cast<std::uint8_t>((kRTerms[r] + kGTerms[g] + kBTerms[b]) >> 27);
    }
}

// Each grid row of rows through convertRow, which takes a picture row and the row's cells.
template <typename ConvertRow>
void convertRows(const FrameView& frame, int width, int height, RowRange rows,
                 std::span<RgbCell> rgb, std::span<std::uint8_t> luma, ConvertRow convertRow) {
    const auto w = static_cast<std::size_t>(width);
    for (int y = rows.begin; y < rows.end; ++y) {
        const std::size_t first = static_cast<std::size_t>(y) * w;
        convertRow(frame.pictureRow(y, height), rgb.subspan(first, w), luma.subspan(first, w));
    }
}

void convertPortable(const FrameView& frame, int width, int height, RowRange rows,
                     std::span<RgbCell> rgb, std::span<std::uint8_t> luma) {
    convertRows(frame, width, height, rows, rgb, luma, convertRowPortable);
}

}  // namespace

int luminance(int r, int g, int b) {
    // Every product and the sum are exact in double precision, so truncation sees the exact value.
    const double sum =
        (static_cast<double>(g) * kG + static_cast<double>(r) * kR) + static_cast<double>(b) * kB;
    return trunc_to_int(sum);
}

void convertFrameReference(const FrameView& frame, int width, int height, RowRange rows,
                           std::span<RgbCell> rgb, std::span<std::uint8_t> luma) {
    for (int y = rows.begin; y < rows.end; ++y) {
        const std::uint8_t* row = frame.pictureRow(y, height);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* pixel = row + 3 * (width - 1 - x);
            const int b = pixel[0];
            const int g = pixel[1];
            const int r = pixel[2];
            const std::size_t k = static_cast<std::size_t>(y) * width + x;
            rgb[k] = makeRgbCell(r, g, b);
            luma[k] = static_cast<std::uint8_t>(luminance(r, g, b));
        }
    }
}

namespace {
constexpr FrameConversionKernels kPortable{convertPortable};
}  // namespace

#if TAVLOMI_X86_KERNELS

namespace {

// Eight cells from the 24 frame bytes at pixels, which hold their pixels in reverse order: the
// low half of the result takes the last four pixels, the high half the first four, each
// reversed and widened to b, g, r, 0.
__attribute__((target("avx2"))) __m256i mirroredCells(const std::uint8_t* pixels) {
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 8));
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    const __m256i both = _mm256_inserti128_si256(_mm256_castsi128_si256(last), first, 1);
    // Lane 0 holds frame bytes 8..23 (pixel 7 at byte 13), lane 1 bytes 0..15 (pixel 3 at 9).
    const __m256i order = _mm256_setr_epi8(13, 14, 15, -1, 10, 11, 12, -1, 7, 8, 9, -1, 4, 5, 6, -1,
                                           9, 10, 11, -1, 6, 7, 8, -1, 3, 4, 5, -1, 0, 1, 2, -1);
    return _mm256_shuffle_epi8(both, order);
}

// Luminance of eight cells as 32-bit lanes, in cell order. Splitting each numerator at bit 15
// into high * 2^15 + low keeps every partial sum below 2^24, within a 16 x 16-bit product sum:
// floor((2^15 H + L) / 2^27) = floor((H + floor(L / 2^15)) / 2^12) for H, L >= 0.
__attribute__((target("avx2"))) __m256i cellLuminance(__m256i cells) {
    const __m256i zero = _mm256_setzero_si256();
    // Channels in the order of a cell's bytes: b, g, r, unused.
    const __m256i highWeights = _mm256_setr_epi16(291, 2929, 871, 0, 291, 2929, 871, 0, 291, 2929,
                                                  871, 0, 291, 2929, 871, 0);
    const __m256i lowWeights = _mm256_setr_epi16(16653, 9680, 3290, 0, 16653, 9680, 3290, 0, 16653,
                                                 9680, 3290, 0, 16653, 9680, 3290, 0);
    const __m256i firstPair = _mm256_unpacklo_epi8(cells, zero);
    const __m256i secondPair = _mm256_unpackhi_epi8(cells, zero);
    const __m256i high = _mm256_hadd_epi32(_mm256_madd_epi16(firstPair, highWeights),
                                           _mm256_madd_epi16(secondPair, highWeights));
    const __m256i low = _mm256_hadd_epi32(_mm256_madd_epi16(firstPair, lowWeights),
                                          _mm256_madd_epi16(secondPair, lowWeights));
    return _mm256_srai_epi32(_mm256_add_epi32(high, _mm256_srai_epi32(low, 15)), 12);
}

// One picture row of rgbCells.size() pixels into as many cells, mirrored.
__attribute__((target("avx2"))) void convertRowAvx2(const std::uint8_t* row,
                                                    std::span<RgbCell> rgbCells,
                                                    std::span<std::uint8_t> lumaCells) {
    RgbCell* rgb = rgbCells.data();
    std::uint8_t* luma = lumaCells.data();
    const std::size_t cellCount = rgbCells.size();
    constexpr std::size_t kBlock = 32;
    std::size_t k = 0;
    for (; k + kBlock <= cellCount; k += kBlock) {
        __m256i lumaLanes[4];
        for (std::size_t part = 0; part < 4; ++part) {
            const std::size_t first = k + 8 * part;
            const __m256i cells = mirroredCells(row + 3 * (cellCount - first - 8));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb + first), cells);
            lumaLanes[part] = cellLuminance(cells);
        }
        // Packing works within 128-bit halves; the permutation puts the 4-byte groups back in
        // cell order.
        const __m256i words01 = _mm256_packs_epi32(lumaLanes[0], lumaLanes[1]);
        const __m256i words23 = _mm256_packs_epi32(lumaLanes[2], lumaLanes[3]);
        const __m256i bytes = _mm256_packus_epi16(words01, words23);
        const __m256i ordered =
            _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(luma + k), ordered);
    }
    // The rest are the first cellCount - k pixels of the row.
    convertRowPortable(row, rgbCells.subspan(k), lumaCells.subspan(k));
}

__attribute__((target("avx2"))) void convertAvx2(const FrameView& frame, int width, int height,
                                                 RowRange rows, std::span<RgbCell> rgb,
                                                 std::span<std::uint8_t> luma) {
    convertRows(frame, width, height, rows, rgb, luma, convertRowAvx2);
}

constexpr FrameConversionKernels kAvx2{convertAvx2};

}  // namespace

const FrameConversionKernels& frameConversionKernels(SimdLevel level) {
    return level == SimdLevel::Avx2 ? kAvx2 : kPortable;
}

#else

const FrameConversionKernels& frameConversionKernels(SimdLevel) {
    return kPortable;
}

#endif

}  // namespace tavlomi
