#include "capture/motion_detector.hpp"

#include <cstddef>
#include <cstdlib>

#include "common/grid_storage.hpp"
#include "common/int_math.hpp"

#if TAVLOMI_X86_KERNELS
#include <immintrin.h>
#endif

namespace tavlomi {

namespace {

// A threshold that marks the same cells within -1..255, where it fits a byte compare: any below
// -1 marks every cell, as -1 does, and any above 255 none, as 255 does.
int clampedThreshold(int threshold) {
    return clamp_to(threshold, -1, 255);
}

// threshold within -1..255.
void markClamped(const std::uint8_t* luma, std::uint8_t* previous, std::uint8_t* mask,
                 std::size_t count, int threshold) {
    for (std::size_t i = 0; i < count; ++i) {
        const int d = int{luma[i]} - int{previous[i]};
        mask[i] = (d > threshold) | (-d > threshold);
        previous[i] = luma[i];
    }
}

void markPortable(std::span<const std::uint8_t> luma, std::span<std::uint8_t> previous,
                  std::span<std::uint8_t> mask, int threshold) {
    markClamped(luma.data(), previous.data(), mask.data(), mask.size(),
                clampedThreshold(threshold));
}

}  // namespace

void markMotionReference(std::span<const std::uint8_t> luma, std::span<std::uint8_t> previous,
                         std::span<std::uint8_t> mask, int threshold) {
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const int d = int{luma[i]} - int{previous[i]};
        mask[i] = std::abs(d) > threshold ? 1 : 0;
        previous[i] = luma[i];
    }
}

namespace {
constexpr MotionKernels kPortable{markPortable};
}  // namespace

#if TAVLOMI_X86_KERNELS

namespace {

__attribute__((target("avx2"))) void markAvx2(std::span<const std::uint8_t> lumaCells,
                                              std::span<std::uint8_t> previousCells,
                                              std::span<std::uint8_t> maskCells, int anyThreshold) {
    const std::uint8_t* luma = lumaCells.data();
    std::uint8_t* previous = previousCells.data();
    std::uint8_t* mask = maskCells.data();
    const std::size_t count = maskCells.size();
    const int threshold = clampedThreshold(anyThreshold);
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
    markClamped(luma + i, previous + i, mask + i, count - i, threshold);
}

constexpr MotionKernels kAvx2{markAvx2};

}  // namespace

const MotionKernels& motionKernels(SimdLevel level) {
    return level == SimdLevel::Avx2 ? kAvx2 : kPortable;
}

#else

const MotionKernels& motionKernels(SimdLevel) {
    return kPortable;
}

#endif

MotionDetector::MotionDetector(int cellCount, WorkerPool& pool, SimdLevel level)
    : cellCount_(cellCount),
      pool_(pool),
      kernels_(motionKernels(level)),
      previousLuma_(makeGrid<std::uint8_t>(static_cast<std::size_t>(cellCount))),
      mask_(makeGrid<std::uint8_t>(static_cast<std::size_t>(cellCount))) {}

void MotionDetector::detect(const LumaGrid& luma, int motionThreshold) {
    pool_.forEachCellRun(cellCount_, [&](std::size_t first, std::size_t count) {
        kernels_.mark(std::span(luma).subspan(first, count),
                      std::span(previousLuma_).subspan(first, count),
                      std::span(mask_).subspan(first, count), motionThreshold);
    });
}

}  // namespace tavlomi
