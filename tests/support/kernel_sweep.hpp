#pragma once

// Fast kernels against their reference loops: grids of every width 1..67 with every height 1..9
// and some larger ones, random inputs, every instruction level this processor runs.

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <vector>

#include "common/simd_level.hpp"

namespace tavlomi {

struct GridSize {
    int width;
    int height;
    std::size_t cells() const { return static_cast<std::size_t>(width) * height; }
};

// count values drawn evenly from lo..hi.
template <typename T>
std::vector<T> randomCells(std::size_t count, int lo, int hi, std::mt19937& random) {
    std::uniform_int_distribution<int> value(lo, hi);
    std::vector<T> cells(count);
    for (T& cell : cells)
        cell = static_cast<T>(value(random));
    return cells;
}

// For every size: input = make(size, random); then, at every level, fast(input, level) must equal
// reference(input). Both take the input as const and return what the kernel wrote, as one value
// that == compares (a vector, a tuple of vectors).
template <typename Make, typename Reference, typename Fast>
void sweepKernel(Make make, Reference reference, Fast fast) {
    std::vector<GridSize> sizes;
    for (int height = 1; height <= 9; ++height) {
        for (int width = 1; width <= 67; ++width)
            sizes.push_back({width, height});
    }
    for (GridSize size : {GridSize{320, 24}, {333, 17}, {1920, 6}, {64, 64}, {97, 131}})
        sizes.push_back(size);
    std::mt19937 random(7);
    for (GridSize size : sizes) {
        const auto input = make(size, random);
        const auto expected = reference(input);
        for (SimdLevel level : supportedSimdLevels()) {
            ASSERT_TRUE(fast(input, level) == expected)
                << "level " << static_cast<int>(level) << ", " << size.width << " x "
                << size.height;
        }
    }
}

// The same for a family of kernels: run(input, kernels) with the reference loops' table, then
// with each level's table.
template <typename Kernels, typename Make, typename Run>
void sweepKernels(const Kernels& reference, const Kernels& (*atLevel)(SimdLevel), Make make,
                  Run run) {
    sweepKernel(
        make, [&](const auto& input) { return run(input, reference); },
        [&](const auto& input, SimdLevel level) { return run(input, atLevel(level)); });
}

}  // namespace tavlomi
