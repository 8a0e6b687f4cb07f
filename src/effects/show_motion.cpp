#include "effects/show_motion.hpp"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tavlomi {

namespace {

#if defined(__x86_64__) || defined(__i386__)

// A cell read as a little-endian word is 0x??RRGGBB, its unused byte on top: setting that byte to
// 0xFF makes it its pixel word.
__attribute__((target("avx2"))) void opaquePixelsAvx2(const RgbCell* rgb, std::uint32_t* pixels,
                                                      std::size_t count) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i cells = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rgb + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + i), _mm256_or_si256(cells, opaque));
    }
    for (; i < count; ++i)
        pixels[i] = pixelWord(rgb[i]);
}

#endif

}  // namespace

void opaquePixelsPlain(std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels) {
    for (std::size_t i = 0; i < rgb.size(); ++i)
        pixels[i] = pixelWord(rgb[i]);
}

void opaquePixels(std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels, SimdLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level == SimdLevel::Avx2) {
        opaquePixelsAvx2(rgb.data(), pixels.data(), rgb.size());
        return;
    }
#endif
    opaquePixelsPlain(rgb, pixels);
}

ShowMotion::ShowMotion(int width, int height, const RgbGrid& rgb, StatusSink& status,
                       SimdLevel level)
    : cellCount_(width * height), rgb_(rgb), simdLevel_(level) {
    status.print("< ShowMotion responding to Ball >\n");
}

void ShowMotion::render(std::span<std::uint32_t> pixels) {
    opaquePixels(std::span(rgb_).first(static_cast<std::size_t>(cellCount_)), pixels, simdLevel_);
}

}  // namespace tavlomi
