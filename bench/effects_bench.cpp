// The effects' per-frame work: the water's ripple step and render on a still and on a rippled
// surface in both modes, each also with the reference loops, and the plain view.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "camera_scene.hpp"
#include "effects/show_motion.hpp"
#include "effects/water_effect.hpp"

namespace tavlomi::bench {
namespace {

constexpr int kDamping = 25;
constexpr int kKeySpace = 32;
// Frames of drops or motion before the measured ones: enough to spread ripples over the grid.
constexpr int kRippleFrames = 60;
// In motion mode the heights grow without bound (the dips are set in one buffer only); after 12
// frames the ripples look like a fresh disturbance, after 60 they reach hundreds of millions.
constexpr int kMotionRippleFrames = 12;

void setCells(benchmark::State& state, const CameraScene& scene) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.cellCount()));
}

struct Cell {
    int x;
    int y;
};

// A ball cell that wanders over the grid inside the ball's bounds, one step a frame.
Cell wanderingBall(const CameraScene& scene, int frame) {
    const int spanX = scene.width() - 32;
    const int spanY = scene.height() - 32;
    const int t = frame * 3;
    const int x = t % (2 * spanX) < spanX ? t % spanX : spanX - t % spanX;
    const int y = (t / 2) % (2 * spanY) < spanY ? (t / 2) % spanY : spanY - (t / 2) % spanY;
    return Cell{16 + x, 16 + y};
}

// The effect with its inputs, in ball mode (drops where the ball goes) or in motion mode (dips
// where the mask shows motion); the Portable level runs the reference loops.
struct WaterRig {
    WaterRig(const CameraScene& scene, bool motionMode, SimdLevel level)
        : mask(scene.mask(3)),
          effect(scene.width(), scene.height(), kDamping, mask, scene.rgb(0), sink, pool, level),
          pixels(scene.cellCount(), 0) {
        if (motionMode) effect.handleKey(kKeySpace);
    }

    // Runs frames as the toy does: in ball mode a drop at each new ball cell, in motion mode the
    // masks of the moving object.
    void run(const CameraScene& scene, bool motionMode, int frames) {
        for (int i = 0; i < frames; ++i, ++frame) {
            if (motionMode) {
                mask = scene.mask(frame);
            } else {
                const Cell cell = wanderingBall(scene, frame);
                effect.ballMoved(cell.x, cell.y);
            }
            effect.update();
        }
    }

    NullSink sink;
    WorkerPool pool{1};
    MotionMask mask;
    WaterEffect effect;
    std::vector<std::uint32_t> pixels;
    int frame = 0;
};

void BM_WaterUpdate(benchmark::State& state, bool motionMode, SimdLevel level) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    WaterRig rig(scene, motionMode, level);
    rig.run(scene, motionMode, kRippleFrames);
    // In motion mode the mask stays that of one frame: the cost does not depend on which.
    for (auto _ : state) {
        if (!motionMode) {
            const Cell cell = wanderingBall(scene, rig.frame++);
            rig.effect.ballMoved(cell.x, cell.y);
        }
        rig.effect.update();
        benchmark::ClobberMemory();
    }
    setCells(state, scene);
}
BENCHMARK_CAPTURE(BM_WaterUpdate, Ball, false, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterUpdate, Motion, true, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterUpdate, BallReference, false, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterUpdate, MotionReference, true, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);

// warmUpFrames of the mode before rendering: 0 is still water.
void BM_WaterRender(benchmark::State& state, bool motionMode, int warmUpFrames, SimdLevel level) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    WaterRig rig(scene, motionMode, level);
    rig.run(scene, motionMode, warmUpFrames);
    for (auto _ : state) {
        rig.effect.render(rig.pixels);
        benchmark::DoNotOptimize(rig.pixels.data());
    }
    setCells(state, scene);
}
BENCHMARK_CAPTURE(BM_WaterRender, Still, false, 0, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterRender, RippledBall, false, kRippleFrames, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterRender, RippledMotion, true, kMotionRippleFrames, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterRender, GrownMotion, true, kRippleFrames, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterRender, StillReference, false, 0, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterRender, RippledBallReference, false, kRippleFrames, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterRender, RippledMotionReference, true, kMotionRippleFrames,
                  SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WaterRender, GrownMotionReference, true, kRippleFrames, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);

void BM_ShowMotionRender(benchmark::State& state) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    NullSink sink;
    WorkerPool pool(1);
    ShowMotion effect(scene.width(), scene.height(), scene.rgb(0), sink, pool);
    std::vector<std::uint32_t> pixels(scene.cellCount(), 0);
    for (auto _ : state) {
        effect.render(pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    setCells(state, scene);
}
BENCHMARK(BM_ShowMotionRender)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavlomi::bench
