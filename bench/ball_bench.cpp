// One ball step with the ball at the edge of a moving object, where the mask pushes it.

#include <benchmark/benchmark.h>

#include "ball/ball.hpp"
#include "camera_scene.hpp"

namespace tavlomi::bench {
namespace {

constexpr int kBallRadius = 10;

void BM_BallStep(benchmark::State& state) {
    const CameraScene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int f = 3;
    const MotionMask& mask = scene.mask(f);
    const int x = scene.objectX(f) - scene.objectRadius();
    const int y = scene.objectY(f);
    Ball ball(static_cast<float>(x), static_cast<float>(y), 1, kBallRadius, mask, scene.width(),
              scene.height());
    for (auto _ : state) {
        ball.placeAt(x, y);
        ball.update();
        benchmark::DoNotOptimize(ball.position());
    }
}
BENCHMARK(BM_BallStep)->Apply(gridSizes);

}  // namespace
}  // namespace tavlomi::bench
