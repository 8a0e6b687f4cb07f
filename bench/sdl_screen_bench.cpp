// The screen copy of every frame through the real SDL edge on SDL's dummy driver: clearing what
// the effect picture does not cover, the blit of the effect surface and presenting the screen.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "camera_scene.hpp"
#include "sdl/sdl_display.hpp"

namespace tavlomi::bench {
namespace {

// A display of the benchmark's size with a picture in its effect surface; nullptr and a skipped
// benchmark when SDL cannot open one.
std::unique_ptr<SdlDisplay> openDisplay(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    std::unique_ptr<SdlDisplay> display = SdlDisplay::open(
        static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), false, 1, error);
    if (!display) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    std::span<std::uint32_t> pixels = display->lockEffectSurface();
    std::uint32_t word = 0xFF123456u;
    for (std::uint32_t& pixel : pixels) {
        pixel = word;
        word = word * 1664525u + 1013904223u;
    }
    display->unlockEffectSurface();
    return display;
}

void setCells(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}

// What the frame loop does around the effect's render: clear, blit, present.
void BM_ScreenCopy(benchmark::State& state) {
    std::unique_ptr<SdlDisplay> display = openDisplay(state);
    if (!display) return;
    WorkerPool pool(1);
    for (auto _ : state) {
        display->clearScreen();
        display->blitEffectSurface(pool);
        display->present();
    }
    setCells(state);
}
BENCHMARK(BM_ScreenCopy)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

// The two steps the toy owns: clearing the uncovered rest and the blit.
void BM_ScreenBlit(benchmark::State& state) {
    std::unique_ptr<SdlDisplay> display = openDisplay(state);
    if (!display) return;
    WorkerPool pool(1);
    for (auto _ : state) {
        display->clearScreen();
        display->blitEffectSurface(pool);
    }
    setCells(state);
}
BENCHMARK(BM_ScreenBlit)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

// Presenting alone: SDL 1.2 on SDL 2 hands the screen on to the window system.
void BM_ScreenPresent(benchmark::State& state) {
    std::unique_ptr<SdlDisplay> display = openDisplay(state);
    if (!display) return;
    for (auto _ : state)
        display->present();
    setCells(state);
}
BENCHMARK(BM_ScreenPresent)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavlomi::bench
