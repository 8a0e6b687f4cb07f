// Frame conversion and motion detection on camera-like frames.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "camera_scene.hpp"
#include "capture/frame_conversion.hpp"
#include "capture/motion_detector.hpp"

namespace tavlomi::bench {
namespace {

void setCells(benchmark::State& state, const CameraScene& scene) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.cellCount()));
}

void convertFrames(benchmark::State& state, decltype(&convertFrameReference) convert) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    RgbGrid rgb(scene.cellCount());
    LumaGrid luma(scene.cellCount());
    int f = 0;
    for (auto _ : state) {
        convert(frameBufferView(scene.frame(f++), scene.width()), scene.width(), scene.height(),
                allRows(scene.height()), rgb, luma);
        benchmark::DoNotOptimize(rgb.data());
        benchmark::DoNotOptimize(luma.data());
    }
    setCells(state, scene);
}

void BM_ConvertFrame(benchmark::State& state, SimdLevel level) {
    convertFrames(state, frameConversionKernels(level).convert);
}
BENCHMARK_CAPTURE(BM_ConvertFrame, Best, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ConvertFrame, Portable, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
void BM_ConvertFrameReference(benchmark::State& state) {
    convertFrames(state, convertFrameReference);
}
BENCHMARK(BM_ConvertFrameReference)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

void markMotion(benchmark::State& state, decltype(&markMotionReference) mark) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint8_t> previous(scene.cellCount(), 0);
    MotionMask mask(scene.cellCount(), 0);
    int f = 0;
    for (auto _ : state) {
        mark(scene.luma(f++), previous, mask, CameraScene::kThreshold);
        benchmark::DoNotOptimize(mask.data());
    }
    setCells(state, scene);
}

void BM_MarkMotion(benchmark::State& state, SimdLevel level) {
    markMotion(state, motionKernels(level).mark);
}
BENCHMARK_CAPTURE(BM_MarkMotion, Best, bestSimdLevel())
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MarkMotion, Portable, SimdLevel::Portable)
    ->Apply(gridSizes)
    ->Unit(benchmark::kMicrosecond);
void BM_MarkMotionReference(benchmark::State& state) {
    markMotion(state, markMotionReference);
}
BENCHMARK(BM_MarkMotionReference)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavlomi::bench
