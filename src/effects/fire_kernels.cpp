#include "effects/fire_kernels.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "common/int_math.hpp"

#if TAVLOMI_X86_KERNELS
#include <immintrin.h>
#endif

namespace tavlomi {

namespace {

// Camera weight in 256ths never drops below this, so a quarter of the picture always shows.
constexpr int kMinCameraWeight = 60;

std::uint8_t seedValue(int peak, int spread, PortableRand& random) {
    return static_cast<std::uint8_t>(peak - spread + random.rand() % spread);
}

void propagateRow(const std::uint8_t* heat, std::uint8_t* next, const std::uint8_t* coolingRow,
                  int width, int y, int xBegin, int xEnd) {
    const int w = width;
    for (int x = xBegin; x < xEnd; ++x) {
        const int i = y * w + x;
        const int below = i + w;
        const int below2 = below + w;
        const int sum = heat[i - 1] + heat[i + 1] + heat[below - 1] + heat[below] +
                        heat[below + 1] + heat[below2 - 1] + heat[below2] + heat[below2 + 1];
        const int v = asr(sum, 3) - coolingRow[x];
        next[i] = static_cast<std::uint8_t>(v >= 0 ? v : 0);
    }
}

int blend(int pal, int cam, int cameraWeight) {
    return pal + asr((cam - pal) * cameraWeight, 8);
}

// The first cell of the cooling-map row that grid row y (1 and up) uses.
int coolingRowStart(int width, int height, int coolingScroll, int y) {
    return (coolingScroll + (y - 1) * width) % (width * height);
}

std::uint32_t renderCell(int h, const FirePalette& palette, RgbCell cam) {
    const RgbCell pal = palette[static_cast<std::size_t>(h)];
    const int cameraWeight = std::max(255 - h, kMinCameraWeight);
    return pixelWord(blend(pal.r, cam.r, cameraWeight), blend(pal.g, cam.g, cameraWeight),
                     blend(pal.b, cam.b, cameraWeight));
}

}  // namespace

void fireSeedReference(std::span<const std::uint8_t> mask, std::span<std::uint8_t> heat, int width,
                       int height, int peak, PortableRand& random, RowRange rows) {
    const int spread = div_trunc(peak, 20);
    const RowRange seeded = rows.within(1, height - 3);
    for (int y = seeded.begin; y < seeded.end; ++y) {
        for (int x = 1; x <= width - 2; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            if (mask[i] != 0) heat[i] = seedValue(peak, spread, random);
        }
    }
}

TAVLOMI_VECTOR_LOOP std::uint64_t fireSeedDraws(std::span<const std::uint8_t> mask, int width,
                                                int height, RowRange rows) {
    const RowRange seeded = rows.within(1, height - 3);
    std::uint64_t draws = 0;
    for (int y = seeded.begin; y < seeded.end; ++y) {
        const std::uint8_t* row = mask.data() + static_cast<std::size_t>(y) * width;
        // Summed per row in 32 bits, which the compiler widens less often than 64.
        std::uint32_t marked = 0;
        for (int x = 1; x <= width - 2; ++x)
            marked += row[x] != 0 ? 1u : 0u;
        draws += marked;
    }
    return draws;
}

void firePropagateReference(std::span<const std::uint8_t> heat, std::span<std::uint8_t> next,
                            std::span<const std::uint8_t> cooling, int width, int height,
                            int coolingScroll, RowRange rows) {
    const RowRange risen = rows.within(1, height - 2);
    for (int y = risen.begin; y < risen.end; ++y) {
        const int base = coolingRowStart(width, height, coolingScroll, y);
        propagateRow(heat.data(), next.data(), cooling.data() + base, width, y, 1, width - 1);
    }
}

void fireRenderReference(std::span<const std::uint8_t> heat, const FirePalette& palette,
                         std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels) {
    for (std::size_t i = 0; i < heat.size(); ++i)
        pixels[i] = renderCell(heat[i], palette, rgb[i]);
}

TAVLOMI_VECTOR_LOOP void fireFadeAndMerge(std::span<std::uint8_t> ballHeat,
                                          std::span<std::uint8_t> heat, bool fade) {
    std::uint8_t* ball = ballHeat.data();
    std::uint8_t* merged = heat.data();
    // Branch-free bodies, which the compiler turns into a few vector instructions per 32 cells.
    if (fade) {
        for (std::size_t i = 0; i < heat.size(); ++i) {
            // max(v, 1) - 1 lowers every value above 0 by 1 and leaves 0 at 0.
            const auto faded = static_cast<std::uint8_t>(std::max<std::uint8_t>(ball[i], 1) - 1);
            ball[i] = faded;
            merged[i] = std::max(merged[i], faded);
        }
    } else {
        for (std::size_t i = 0; i < heat.size(); ++i)
            merged[i] = std::max(merged[i], ball[i]);
    }
}

namespace {
constexpr FireKernels kReference{fireSeedReference, firePropagateReference, fireRenderReference};
}  // namespace

#if TAVLOMI_X86_KERNELS

namespace {

__attribute__((target("avx2"))) __m256i load32(const std::uint8_t* bytes) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
}

__attribute__((target("avx2"))) void seedAvx2(std::span<const std::uint8_t> maskCells,
                                              std::span<std::uint8_t> heatCells, int width,
                                              int height, int peak, PortableRand& random,
                                              RowRange rows) {
    const std::uint8_t* mask = maskCells.data();
    std::uint8_t* heat = heatCells.data();
    const int spread = div_trunc(peak, 20);
    const RowRange seeded = rows.within(1, height - 3);
    for (int y = seeded.begin; y < seeded.end; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * width;
        int x = 1;
        for (; x + 32 <= width - 1; x += 32) {
            // Most of a camera picture is still: 32 cells without motion cost one test. The bits
            // of the rest are taken lowest first, which keeps the draws in row-major order.
            const __m256i marks = load32(mask + rowStart + x);
            const __m256i still = _mm256_cmpeq_epi8(marks, _mm256_setzero_si256());
            auto moving = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(still));
            while (moving != 0) {
                const int bit = std::countr_zero(moving);
                heat[rowStart + x + bit] = seedValue(peak, spread, random);
                moving &= moving - 1;
            }
        }
        for (; x <= width - 2; ++x) {
            if (mask[rowStart + x] != 0) heat[rowStart + x] = seedValue(peak, spread, random);
        }
    }
}

// Sums of 32 cells in two halves of sixteen 16-bit lanes (the low and high eight bytes of each
// 128-bit lane), so that packing the halves back gives the cells in order.
struct Halves {
    __m256i low;
    __m256i high;
};

__attribute__((target("avx2"))) Halves widen(__m256i bytes) {
    const __m256i zero = _mm256_setzero_si256();
    return {_mm256_unpacklo_epi8(bytes, zero), _mm256_unpackhi_epi8(bytes, zero)};
}

__attribute__((target("avx2"))) Halves addHalves(Halves a, __m256i bytes) {
    const Halves b = widen(bytes);
    return {_mm256_add_epi16(a.low, b.low), _mm256_add_epi16(a.high, b.high)};
}

__attribute__((target("avx2"))) void propagateAvx2(std::span<const std::uint8_t> heatCells,
                                                   std::span<std::uint8_t> nextCells,
                                                   std::span<const std::uint8_t> coolingCells,
                                                   int width, int height, int coolingScroll,
                                                   RowRange rows) {
    const std::uint8_t* heat = heatCells.data();
    std::uint8_t* next = nextCells.data();
    const std::uint8_t* cooling = coolingCells.data();
    const int w = width;
    const __m256i zero = _mm256_setzero_si256();
    const RowRange risen = rows.within(1, height - 2);
    for (int y = risen.begin; y < risen.end; ++y) {
        const std::uint8_t* coolingRow = cooling + coolingRowStart(width, height, coolingScroll, y);
        const std::uint8_t* middle = heat + static_cast<std::size_t>(y) * w;
        const std::uint8_t* below = middle + w;
        const std::uint8_t* below2 = below + w;
        std::uint8_t* out = next + static_cast<std::size_t>(y) * w;
        const int span = w - 2;
        if (span < 32) {
            propagateRow(heat, next, coolingRow, width, y, 1, w - 1);
            continue;
        }
        for (int x = 1; x < w - 1; x += 32) {
            // A row's last 32 cells may overlap the ones before: they get the same values.
            x = std::min(x, w - 1 - 32);
            // Eight bytes sum to at most 2040, far inside a 16-bit lane.
            Halves sum = widen(load32(middle + x - 1));
            sum = addHalves(sum, load32(middle + x + 1));
            sum = addHalves(sum, load32(below + x - 1));
            sum = addHalves(sum, load32(below + x));
            sum = addHalves(sum, load32(below + x + 1));
            sum = addHalves(sum, load32(below2 + x - 1));
            sum = addHalves(sum, load32(below2 + x));
            sum = addHalves(sum, load32(below2 + x + 1));
            const Halves cool = widen(load32(coolingRow + x));
            const __m256i low =
                _mm256_max_epi16(_mm256_sub_epi16(_mm256_srli_epi16(sum.low, 3), cool.low), zero);
            const __m256i high =
                _mm256_max_epi16(_mm256_sub_epi16(_mm256_srli_epi16(sum.high, 3), cool.high), zero);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                                _mm256_packus_epi16(low, high));
        }
    }
}

// floor((cam - pal) * d / 256) for 16-bit channels, as the high half of the product of
// 2 (cam - pal), within +-510, and 128 d, at most 32640: both fit a signed 16-bit lane, and the
// high half of their product is floor(256 (cam - pal) d / 2^16).
__attribute__((target("avx2"))) __m256i blendChannels(__m256i pal, __m256i cam, __m256i weight128) {
    const __m256i twiceDifference = _mm256_slli_epi16(_mm256_sub_epi16(cam, pal), 1);
    return _mm256_add_epi16(pal, _mm256_mulhi_epi16(twiceDifference, weight128));
}

__attribute__((target("avx2"))) void renderAvx2(std::span<const std::uint8_t> heatCells,
                                                const FirePalette& palette,
                                                std::span<const RgbCell> rgbCells,
                                                std::span<std::uint32_t> pixelWords) {
    const std::size_t count = heatCells.size();
    if (count < 8) {
        fireRenderReference(heatCells, palette, rgbCells, pixelWords);
        return;
    }
    const std::uint8_t* heat = heatCells.data();
    const RgbCell* rgb = rgbCells.data();
    std::uint32_t* pixels = pixelWords.data();
    const auto entry = [&palette](std::uint64_t h) {
        return static_cast<int>(cellWord(palette[static_cast<std::size_t>(h)]));
    };
    const __m256i zero = _mm256_setzero_si256();
    const __m256i full = _mm256_set1_epi32(255);
    const __m256i minWeight = _mm256_set1_epi32(kMinCameraWeight);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i coldColour = _mm256_set1_epi32(entry(0));
    for (std::size_t i = 0; i < count; i += 8) {
        // The last eight cells may overlap the eight before: they get the same words.
        i = std::min(i, count - 8);
        std::uint64_t heats;
        std::memcpy(&heats, heat + i, sizeof heats);
        const __m256i h = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(heats)));
        // Most of the picture is cold: eight cells of heat 0 share palette entry 0. Otherwise
        // eight single loads, which beat the gather instruction on AMD processors.
        const __m256i pal =
            heats == 0 ? coldColour
                       : _mm256_setr_epi32(entry(heats & 0xFF), entry((heats >> 8) & 0xFF),
                                           entry((heats >> 16) & 0xFF), entry((heats >> 24) & 0xFF),
                                           entry((heats >> 32) & 0xFF), entry((heats >> 40) & 0xFF),
                                           entry((heats >> 48) & 0xFF), entry(heats >> 56));
        const __m256i cam = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rgb + i));
        const __m256i weight128 =
            _mm256_slli_epi32(_mm256_max_epi32(_mm256_sub_epi32(full, h), minWeight), 7);
        // The weight in both 16-bit halves of its cell's 32-bit lane, then spread over the
        // four channels of each cell as the byte unpacking lays them out.
        const __m256i pairedWeight = _mm256_or_si256(weight128, _mm256_slli_epi32(weight128, 16));
        const __m256i low =
            blendChannels(_mm256_unpacklo_epi8(pal, zero), _mm256_unpacklo_epi8(cam, zero),
                          _mm256_unpacklo_epi32(pairedWeight, pairedWeight));
        const __m256i high =
            blendChannels(_mm256_unpackhi_epi8(pal, zero), _mm256_unpackhi_epi8(cam, zero),
                          _mm256_unpackhi_epi32(pairedWeight, pairedWeight));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + i),
                            _mm256_or_si256(_mm256_packus_epi16(low, high), opaque));
    }
}

constexpr FireKernels kAvx2{seedAvx2, propagateAvx2, renderAvx2};

}  // namespace

const FireKernels& fireKernels(SimdLevel level) {
    return level == SimdLevel::Avx2 ? kAvx2 : kReference;
}

#else

const FireKernels& fireKernels(SimdLevel) {
    return kReference;
}

#endif

}  // namespace tavlomi
