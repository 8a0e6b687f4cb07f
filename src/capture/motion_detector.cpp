#include "capture/motion_detector.hpp"

#include <cstddef>
#include <cstdlib>

#include "common/int_math.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tavlomi {

namespace {

// threshold is clamped to -1..255: -1 marks every cell, 255 none, as any value beyond does.
void markPortable(const std::uint8_t* luma, std::uint8_t* previous, std::uint8_t* mask,
                  std::size_t count, int threshold) {
    for (std::size_t i = 0; i < count; ++i) {
        const int d = int{luma[i]} - int{previous[i]};
        mask[i] = (d > threshold) | (-d > threshold);
        previous[i] = luma[i];
    }
}

#if defined(__x86_64__) || defined(__i386__)

// threshold as for markPortable.
__attribute__((target("avx2"))) void markAvx2(const std::uint8_t* luma, std::uint8_t* previous,
                                              std::uint8_t* mask, std::size_t count,
                                              int threshold) {
    const __m256i one = _mm256_set1_epi8(1);
    // With the bytes' difference d in 0..255, d - t saturated at 0 is non-zero exactly when
    // d > t, for t in 0..255; a threshold below 0 marks every cell whatever d is.
    const __m256i limit = _mm256_set1_epi8(static_cast<char>(threshold < 0 ? 0 : threshold));
    const __m256i always = threshold < 0 ? one : _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i now = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma + i));
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(previous + i));
        const __m256i change =
            _mm256_or_si256(_mm256_subs_epu8(now, before), _mm256_subs_epu8(before, now));
        const __m256i marked = _mm256_min_epu8(_mm256_subs_epu8(change, limit), one);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(mask + i), _mm256_or_si256(marked, always));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(previous + i), now);
    }
    markPortable(luma + i, previous + i, mask + i, count - i, threshold);
}

#endif

}  // namespace

MotionDetector::MotionDetector(int cellCount)
    : cellCount_(cellCount), previousLuma_(cellCount, 0), mask_(cellCount, 0) {}

void MotionDetector::detect(const LumaGrid& luma, int motionThreshold, SimdLevel level) {
    const std::size_t count = static_cast<std::size_t>(cellCount_);
    const int threshold = clamp_to(motionThreshold, -1, 255);
#if defined(__x86_64__) || defined(__i386__)
    if (level == SimdLevel::Avx2) {
        markAvx2(luma.data(), previousLuma_.data(), mask_.data(), count, threshold);
        return;
    }
#endif
    markPortable(luma.data(), previousLuma_.data(), mask_.data(), count, threshold);
}

void MotionDetector::detectPlain(const LumaGrid& luma, int motionThreshold) {
    for (int i = 0; i < cellCount_; ++i) {
        const int d = int{luma[i]} - int{previousLuma_[i]};
        mask_[i] = std::abs(d) > motionThreshold ? 1 : 0;
        previousLuma_[i] = luma[i];
    }
}

}  // namespace tavlomi
