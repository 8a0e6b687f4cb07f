// Every stage that splits its rows over the worker pool, on 1 and 2 threads at 1920 x 1080 and
// 3840 x 2160: conversion, motion, the effects' update and render, the plain view and the screen
// copy; and what handing the threads one job costs. Wall-clock time, since the work is spread
// over threads.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "camera_scene.hpp"
#include "capture/capture_source.hpp"
#include "common/worker_pool.hpp"
#include "effects/fire_effect.hpp"
#include "effects/show_motion.hpp"
#include "effects/water_effect.hpp"
#include "sdl/sdl_display.hpp"

namespace tavlomi::bench {
namespace {

constexpr int kKeySpace = 32;
constexpr int kDamping = 25;
// Frames before the measured ones: ripples and flames spread over the grid.
constexpr int kWarmUpFrames = 12;

// (width, height, threads).
void threadedSizes(benchmark::internal::Benchmark* benchmark) {
    for (const int threads : {1, 2})
        benchmark->Args({1920, 1080, threads});
    for (const int threads : {1, 2})
        benchmark->Args({3840, 2160, threads});
    benchmark->UseRealTime()->Unit(benchmark::kMicrosecond);
}

// The scene of the benchmark's size, made once per size for the whole run: a 4K scene takes
// seconds to make.
const CameraScene& sceneFor(const benchmark::State& state) {
    static std::map<std::pair<int, int>, std::unique_ptr<CameraScene>> scenes;
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    std::unique_ptr<CameraScene>& scene = scenes[{width, height}];
    if (!scene) scene = std::make_unique<CameraScene>(width, height);
    return *scene;
}

void setCells(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}

// The scene's frames lent in place, one after another, as a source with buffers of its own
// lends them.
class LendingScene final : public FrameSource {
  public:
    explicit LendingScene(const CameraScene& scene) : scene_(scene) {}
    bool copyNewestFrame(std::span<std::uint8_t>) override { return false; }
    std::optional<FrameView> viewNewestFrame(std::span<std::uint8_t>, int width) override {
        return frameBufferView(scene_.frame(frame_++), width);
    }

  private:
    const CameraScene& scene_;
    int frame_ = 0;
};

void BM_PoolDispatch(benchmark::State& state) {
    WorkerPool pool(static_cast<int>(state.range(0)));
    std::vector<int> touched(64, 0);
    for (auto _ : state) {
        pool.forEachBand(allRows(64), [&](RowBand band) { ++touched[band.rows.begin]; });
    }
    benchmark::DoNotOptimize(touched.data());
}
BENCHMARK(BM_PoolDispatch)->Arg(1)->Arg(2)->UseRealTime();

void BM_Threaded_Conversion(benchmark::State& state) {
    const CameraScene& scene = sceneFor(state);
    WorkerPool pool(static_cast<int>(state.range(2)));
    LendingScene source(scene);
    CaptureSource capture(scene.width(), scene.height(), source, pool);
    for (auto _ : state)
        capture.grabFrame();
    setCells(state);
}
BENCHMARK(BM_Threaded_Conversion)->Apply(threadedSizes);

void BM_Threaded_Motion(benchmark::State& state) {
    const CameraScene& scene = sceneFor(state);
    WorkerPool pool(static_cast<int>(state.range(2)));
    MotionDetector detector(static_cast<int>(scene.cellCount()), pool);
    int frame = 0;
    for (auto _ : state)
        detector.detect(scene.luma(frame++), CameraScene::kThreshold);
    setCells(state);
}
BENCHMARK(BM_Threaded_Motion)->Apply(threadedSizes);

// The water in motion mode on the scene's masks, after the warm-up frames.
struct WaterRig {
    WaterRig(const CameraScene& scene, int threads)
        : pool(threads),
          mask(scene.mask(0)),
          effect(scene.width(), scene.height(), kDamping, mask, scene.rgb(0), sink, pool),
          pixels(scene.cellCount(), 0) {
        effect.handleKey(kKeySpace);
        for (int i = 0; i < kWarmUpFrames; ++i)
            step(scene);
    }
    void step(const CameraScene& scene) {
        mask = scene.mask(frame++);
        effect.update();
    }

    NullSink sink;
    WorkerPool pool;
    MotionMask mask;
    WaterEffect effect;
    std::vector<std::uint32_t> pixels;
    int frame = 0;
};

void BM_Threaded_WaterUpdate(benchmark::State& state) {
    const CameraScene& scene = sceneFor(state);
    WaterRig rig(scene, static_cast<int>(state.range(2)));
    for (auto _ : state)
        rig.step(scene);
    setCells(state);
}
BENCHMARK(BM_Threaded_WaterUpdate)->Apply(threadedSizes);

void BM_Threaded_WaterRender(benchmark::State& state) {
    const CameraScene& scene = sceneFor(state);
    WaterRig rig(scene, static_cast<int>(state.range(2)));
    for (auto _ : state)
        rig.effect.render(rig.pixels);
    setCells(state);
}
BENCHMARK(BM_Threaded_WaterRender)->Apply(threadedSizes);

struct FireRig {
    FireRig(const CameraScene& scene, int threads, bool movementMode)
        : movement(movementMode),
          pool(threads),
          mask(scene.mask(0)),
          fire(scene.width(), scene.height(), mask, scene.rgb(0), random, sink, pool),
          pixels(scene.cellCount(), 0) {
        if (movement) fire.handleKey(kKeySpace);
        for (int i = 0; i < kWarmUpFrames; ++i)
            step(scene);
    }
    void step(const CameraScene& scene) {
        if (movement) {
            mask = scene.mask(frame);
        } else {
            fire.ballMoved(scene.objectX(frame), scene.objectY(frame));
        }
        ++frame;
        fire.update();
    }

    bool movement;
    NullSink sink;
    PortableRand random;
    WorkerPool pool;
    MotionMask mask;
    FireEffect fire;
    std::vector<std::uint32_t> pixels;
    int frame = 0;
};

void BM_Threaded_FireUpdate(benchmark::State& state, bool movementMode) {
    const CameraScene& scene = sceneFor(state);
    FireRig rig(scene, static_cast<int>(state.range(2)), movementMode);
    for (auto _ : state)
        rig.step(scene);
    setCells(state);
}
BENCHMARK_CAPTURE(BM_Threaded_FireUpdate, Movement, true)->Apply(threadedSizes);
BENCHMARK_CAPTURE(BM_Threaded_FireUpdate, Ball, false)->Apply(threadedSizes);

void BM_Threaded_FireRender(benchmark::State& state) {
    const CameraScene& scene = sceneFor(state);
    FireRig rig(scene, static_cast<int>(state.range(2)), true);
    for (auto _ : state)
        rig.fire.render(rig.pixels);
    setCells(state);
}
BENCHMARK(BM_Threaded_FireRender)->Apply(threadedSizes);

void BM_Threaded_PlainView(benchmark::State& state) {
    const CameraScene& scene = sceneFor(state);
    NullSink sink;
    WorkerPool pool(static_cast<int>(state.range(2)));
    ShowMotion effect(scene.width(), scene.height(), scene.rgb(0), sink, pool);
    std::vector<std::uint32_t> pixels(scene.cellCount(), 0);
    for (auto _ : state)
        effect.render(pixels);
    setCells(state);
}
BENCHMARK(BM_Threaded_PlainView)->Apply(threadedSizes);

// The SDL edge's copy of the effect surface to the screen, on SDL's dummy driver.
void BM_Threaded_ScreenCopy(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    std::unique_ptr<SdlDisplay> display = SdlDisplay::open(
        static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), false, 1, error);
    if (!display) {
        state.SkipWithError(error.c_str());
        return;
    }
    WorkerPool pool(static_cast<int>(state.range(2)));
    for (auto _ : state)
        display->blitEffectSurface(pool);
    setCells(state);
}
BENCHMARK(BM_Threaded_ScreenCopy)->Apply(threadedSizes);

}  // namespace
}  // namespace tavlomi::bench
