#pragma once

// Fast kernels against their reference loops: grids of every width 1..67 with every height 1..9
// and some larger ones, random inputs, every instruction level this processor runs, and for the
// loops split into bands of rows, every thread count 1..8 (so also grids of fewer rows than
// threads).

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <random>
#include <vector>

#include "common/simd_level.hpp"
#include "common/worker_pool.hpp"

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

// Every height 1..9 with each of widths, then some larger grids.
inline std::vector<GridSize> sweepSizes(const std::vector<int>& widths) {
    std::vector<GridSize> sizes;
    for (int height = 1; height <= 9; ++height) {
        for (int width : widths)
            sizes.push_back({width, height});
    }
    for (GridSize size : {GridSize{320, 24}, {333, 17}, {1920, 6}, {64, 64}, {97, 131}})
        sizes.push_back(size);
    return sizes;
}

// For every size: input = make(size, random); then, at every level and on pools of 1..maxThreads
// threads, fast(input, level, pool) must equal reference(input). Both take the input as const and
// return what the kernel wrote, as one value that == compares (a vector, a tuple of vectors).
template <typename Make, typename Reference, typename Fast>
void sweepPools(const std::vector<GridSize>& sizes, Make make, Reference reference, Fast fast,
                int maxThreads) {
    std::vector<std::unique_ptr<WorkerPool>> pools;
    for (int threads = 1; threads <= maxThreads; ++threads)
        pools.push_back(std::make_unique<WorkerPool>(threads));
    std::mt19937 random(7);
    for (GridSize size : sizes) {
        const auto input = make(size, random);
        const auto expected = reference(input);
        for (SimdLevel level : supportedSimdLevels()) {
            for (const std::unique_ptr<WorkerPool>& pool : pools) {
                ASSERT_TRUE(fast(input, level, *pool) == expected)
                    << "level " << static_cast<int>(level) << ", " << pool->threadCount()
                    << " threads, " << size.width << " x " << size.height;
            }
        }
    }
}

// A kernel that runs on the caller alone, fast(input, level), at every width 1..67.
template <typename Make, typename Reference, typename Fast>
void sweepKernel(Make make, Reference reference, Fast fast) {
    std::vector<int> widths;
    for (int width = 1; width <= 67; ++width)
        widths.push_back(width);
    sweepPools(
        sweepSizes(widths), make, reference,
        [&](const auto& input, SimdLevel level, WorkerPool&) { return fast(input, level); }, 1);
}

// Loops split into bands of rows over a pool, fast(input, level, pool), on 1..8 threads. The
// bands split rows, so fewer widths will do: the kernels' own sweeps cover every width.
template <typename Make, typename Reference, typename Fast>
void sweepThreaded(Make make, Reference reference, Fast fast) {
    sweepPools(sweepSizes({1, 2, 3, 17, 33, 67}), make, reference, fast, 8);
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
