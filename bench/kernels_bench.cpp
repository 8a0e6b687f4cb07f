// Single grid loops on the data a real run gives them, each a plain loop that the compiler
// vectorises, in place of intrinsics that were no faster: the plain view's copy, the fire's
// ball-heat fade and merge, and the water's motion seed (beside its reference loop).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "camera_scene.hpp"
#include "effects/fire_kernels.hpp"
#include "effects/show_motion.hpp"
#include "effects/water_kernels.hpp"

namespace tavlomi::bench {
namespace {

void setCells(benchmark::State& state, const CameraScene& scene) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.cellCount()));
}

void BM_OpaquePixels(benchmark::State& state) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint32_t> pixels(scene.cellCount(), 0);
    for (auto _ : state) {
        opaquePixels(scene.rgb(0), pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    setCells(state, scene);
}
BENCHMARK(BM_OpaquePixels)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

// A ball-heat layer with one disc of trail in it, as after the ball rested for a while; fading
// every second frame, as the effect does.
void BM_FireFadeAndMerge(benchmark::State& state) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint8_t> ballHeat(scene.cellCount(), 0);
    std::vector<std::uint8_t> heat(scene.cellCount(), 0);
    const int cx = scene.width() / 2, cy = scene.height() / 2;
    for (int y = cy - 6; y < cy + 6; ++y) {
        for (int x = cx - 6; x < cx + 6; ++x)
            ballHeat[static_cast<std::size_t>(y) * scene.width() + x] = 240;
    }
    bool fade = false;
    for (auto _ : state) {
        fireFadeAndMerge(ballHeat, heat, fade);
        fade = !fade;
        benchmark::DoNotOptimize(heat.data());
    }
    setCells(state, scene);
}
BENCHMARK(BM_FireFadeAndMerge)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

void BM_WaterSeed(benchmark::State& state, decltype(&waterSeedReference) seed) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<int> heights(scene.cellCount(), 0);
    int f = 0;
    for (auto _ : state) {
        seed(scene.mask(f++), heights, -400);
        benchmark::DoNotOptimize(heights.data());
    }
    setCells(state, scene);
}
BENCHMARK_CAPTURE(BM_WaterSeed, Blocks, waterSeed)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterSeed, Reference, waterSeedReference)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavlomi::bench
