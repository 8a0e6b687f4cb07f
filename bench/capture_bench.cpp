// Frame conversion and motion detection on camera-like frames.

#include <benchmark/benchmark.h>

#include "camera_scene.hpp"
#include "capture/frame_conversion.hpp"
#include "capture/motion_detector.hpp"

namespace tavlomi::bench {
namespace {

void setCells(benchmark::State& state, const CameraScene& scene) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.cellCount()));
}

template <typename Convert>
void convertFrames(benchmark::State& state, Convert convert) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    RgbGrid rgb(scene.cellCount());
    LumaGrid luma(scene.cellCount());
    int f = 0;
    for (auto _ : state) {
        convert(scene.frame(f++), rgb, luma);
        benchmark::DoNotOptimize(rgb.data());
        benchmark::DoNotOptimize(luma.data());
    }
    setCells(state, scene);
}

void BM_ConvertFrame(benchmark::State& state) {
    convertFrames(state, [](const auto& frame, RgbGrid& rgb, LumaGrid& luma) {
        convertFrame(frame, rgb, luma);
    });
}
void BM_ConvertFramePortable(benchmark::State& state) {
    convertFrames(state, [](const auto& frame, RgbGrid& rgb, LumaGrid& luma) {
        convertFrame(frame, rgb, luma, SimdLevel::Portable);
    });
}
void BM_ConvertFramePlain(benchmark::State& state) {
    convertFrames(state, [](const auto& frame, RgbGrid& rgb, LumaGrid& luma) {
        convertFramePlain(frame, rgb, luma);
    });
}
BENCHMARK(BM_ConvertFrame)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertFramePortable)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertFramePlain)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

template <typename Detect>
void detectMotion(benchmark::State& state, Detect detect) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    MotionDetector detector(static_cast<int>(scene.cellCount()));
    int f = 0;
    for (auto _ : state) {
        detect(detector, scene.luma(f++));
        benchmark::DoNotOptimize(detector.motionMask().data());
    }
    setCells(state, scene);
}

void BM_MotionDetect(benchmark::State& state) {
    detectMotion(state, [](MotionDetector& detector, const LumaGrid& luma) {
        detector.detect(luma, CameraScene::kThreshold);
    });
}
void BM_MotionDetectPortable(benchmark::State& state) {
    detectMotion(state, [](MotionDetector& detector, const LumaGrid& luma) {
        detector.detect(luma, CameraScene::kThreshold, SimdLevel::Portable);
    });
}
void BM_MotionDetectPlain(benchmark::State& state) {
    detectMotion(state, [](MotionDetector& detector, const LumaGrid& luma) {
        detector.detectPlain(luma, CameraScene::kThreshold);
    });
}
BENCHMARK(BM_MotionDetect)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MotionDetectPortable)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MotionDetectPlain)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavlomi::bench
