// The fire's per-frame work in both modes, with the fast and with the reference loops, and the
// cooling map it builds once at start-up.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "camera_scene.hpp"
#include "effects/fire_effect.hpp"
#include "effects/fire_kernels.hpp"
#include "effects/noise_field.hpp"

namespace tavlomi::bench {
namespace {

constexpr int kKeySpace = 32;
// Frames before the measured ones: enough for the flames to reach their full height.
constexpr int kWarmUpFrames = 60;

void setCells(benchmark::State& state, const CameraScene& scene) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.cellCount()));
}

// A ball cell that wanders over the grid inside the ball's bounds, one step a frame.
void moveBall(FireEffect& fire, const CameraScene& scene, int frame) {
    const int spanX = scene.width() - 32;
    const int spanY = scene.height() - 32;
    const int t = frame * 3;
    const int x = t % (2 * spanX) < spanX ? t % spanX : spanX - t % spanX;
    const int y = (t / 2) % (2 * spanY) < spanY ? (t / 2) % spanY : spanY - (t / 2) % spanY;
    fire.ballMoved(16 + x, 16 + y);
}

// The effect with its inputs, in ball mode (a trail where the ball goes) or in movement mode
// (seeds where the mask shows motion); the Portable level runs the reference loops.
struct FireRig {
    FireRig(const CameraScene& scene, bool movementMode, SimdLevel level)
        : mask(scene.mask(0)),
          fire(scene.width(), scene.height(), mask, scene.rgb(0), random, sink, pool, level),
          pixels(scene.cellCount(), 0) {
        if (movementMode) fire.handleKey(kKeySpace);
    }

    void step(const CameraScene& scene, bool movementMode) {
        if (movementMode) {
            mask = scene.mask(frame);
        } else {
            moveBall(fire, scene, frame);
        }
        fire.update();
        ++frame;
    }

    NullSink sink;
    PortableRand random;
    WorkerPool pool{1};
    MotionMask mask;
    FireEffect fire;
    std::vector<std::uint32_t> pixels;
    int frame = 0;
};

void BM_FireUpdate(benchmark::State& state, bool movementMode, SimdLevel level) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    FireRig rig(scene, movementMode, level);
    for (int i = 0; i < kWarmUpFrames; ++i)
        rig.step(scene, movementMode);
    for (auto _ : state) {
        rig.step(scene, movementMode);
        benchmark::ClobberMemory();
    }
    setCells(state, scene);
}
BENCHMARK_CAPTURE(BM_FireUpdate, Ball, false, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FireUpdate, Movement, true, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FireUpdate, BallReference, false, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FireUpdate, MovementReference, true, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);

void BM_FireRender(benchmark::State& state, bool movementMode, SimdLevel level) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    FireRig rig(scene, movementMode, level);
    for (int i = 0; i < kWarmUpFrames; ++i)
        rig.step(scene, movementMode);
    for (auto _ : state) {
        rig.fire.render(rig.pixels);
        benchmark::DoNotOptimize(rig.pixels.data());
    }
    setCells(state, scene);
}
BENCHMARK_CAPTURE(BM_FireRender, Ball, false, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FireRender, Movement, true, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FireRender, BallReference, false, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FireRender, MovementReference, true, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);

// The blend alone with heat everywhere, random over 0..254: the cost when the whole picture
// burns, which the effect itself reaches only with motion all over.
void BM_FireRenderAllHot(benchmark::State& state, SimdLevel level) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint8_t> heat(scene.cellCount());
    std::uint32_t noise = 0x2545F491u;
    for (std::uint8_t& h : heat) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        h = static_cast<std::uint8_t>(noise % 255);
    }
    FirePalette palette;
    for (int i = 0; i < 256; ++i)
        palette[i] = makeRgbCell(std::min(255, 3 * i), std::max(0, 3 * i - 255), 0);
    std::vector<std::uint32_t> pixels(scene.cellCount(), 0);
    for (auto _ : state) {
        fireKernels(level).render(heat, palette, scene.rgb(0), pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    setCells(state, scene);
}
BENCHMARK_CAPTURE(BM_FireRenderAllHot, Fast, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FireRenderAllHot, Reference, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);

// The fire's cooling map as the effect makes it at construction.
void BM_NoiseFieldGenerate(benchmark::State& state, SimdLevel level) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    for (auto _ : state) {
        PortableRand random;
        std::vector<std::uint8_t> map =
            generateNoiseField(width, height, 210, 6, 10, 40, random, level);
        benchmark::DoNotOptimize(map.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(width) * height);
}
BENCHMARK_CAPTURE(BM_NoiseFieldGenerate, Best, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NoiseFieldGenerate, Portable, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavlomi::bench
