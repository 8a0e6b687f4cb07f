#pragma once

// Camera-like input for the benchmarks: a textured picture with sensor noise and a bright object
// that moves across it, as a run of frames in the frame buffer format, plus what the toy derives
// from them (grids and motion masks), so that every stage sees the data it sees in a real run.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "capture/frame_conversion.hpp"
#include "capture/motion_detector.hpp"
#include "common/grid.hpp"
#include "common/status_sink.hpp"

namespace tavlomi::bench {

class NullSink final : public StatusSink {
  public:
    void print(std::string_view) override {}
};

// The sizes every per-stage benchmark runs at, as (width, height).
inline void gridSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->Args({320, 240})->Args({640, 480})->Args({1280, 720})->Args({1920, 1080});
}

class CameraScene {
  public:
    static constexpr int kFrames = 8;
    static constexpr int kThreshold = 14;

    CameraScene(int width, int height) : width_(width), height_(height) {
        const std::size_t cells = static_cast<std::size_t>(width) * height;
        std::vector<std::uint8_t> texture(3 * cells);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = &texture[3 * (static_cast<std::size_t>(y) * width + x)];
                const int tile = ((x / 24 + y / 24) & 1) * 50;
                const int wave = (x * 5 + y * 3) % 97;
                p[0] = static_cast<std::uint8_t>(40 + tile + wave / 2);
                p[1] = static_cast<std::uint8_t>(60 + (y * 150) / height + wave / 3);
                p[2] = static_cast<std::uint8_t>(30 + (x * 160) / width + tile / 2);
            }
        }
        // Sensor noise of up to 7 a channel keeps frame differences near the threshold, so the
        // motion is mostly the object's.
        std::uint32_t noise = 0x9E3779B9u;
        frames_.resize(kFrames);
        for (int f = 0; f < kFrames; ++f) {
            std::vector<std::uint8_t>& frame = frames_[f];
            frame = texture;
            for (std::uint8_t& byte : frame) {
                noise ^= noise << 13;
                noise ^= noise >> 17;
                noise ^= noise << 5;
                const int value = byte + static_cast<int>(noise % 15) - 7;
                byte = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
            }
            drawObject(frame, objectX(f), objectY(f));
        }
        deriveGrids();
    }

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t cellCount() const { return static_cast<std::size_t>(width_) * height_; }
    const std::vector<std::uint8_t>& frame(int f) const { return frames_[f % kFrames]; }
    const RgbGrid& rgb(int f) const { return rgb_[f % kFrames]; }
    const LumaGrid& luma(int f) const { return luma_[f % kFrames]; }
    // Motion between frame f - 1 and frame f at the toy's initial threshold.
    const MotionMask& mask(int f) const { return masks_[f % kFrames]; }

    // The object's centre in grid cells (the grid is the picture mirrored and turned upright).
    int objectX(int f) const { return width_ / 4 + (f % kFrames) * width_ / 128; }
    int objectY(int f) const { return height_ / 2 + (f % kFrames) * height_ / 256; }
    int objectRadius() const { return std::max(4, height_ / 16); }

  private:
    void drawObject(std::vector<std::uint8_t>& frame, int gridX, int gridY) const {
        const int radius = objectRadius();
        // Grid cell (x, y) is buffer pixel (width - 1 - x, height - 1 - y).
        const int cx = width_ - 1 - gridX;
        const int cy = height_ - 1 - gridY;
        for (int y = std::max(0, cy - radius); y < std::min(height_, cy + radius); ++y) {
            for (int x = std::max(0, cx - radius); x < std::min(width_, cx + radius); ++x) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) >= radius * radius) continue;
                std::uint8_t* p = &frame[3 * (static_cast<std::size_t>(y) * width_ + x)];
                p[0] = static_cast<std::uint8_t>(std::min(255, p[0] + 90));
                p[1] = static_cast<std::uint8_t>(std::min(255, p[1] + 110));
                p[2] = static_cast<std::uint8_t>(std::min(255, p[2] + 120));
            }
        }
    }

    void deriveGrids() {
        rgb_.assign(kFrames, RgbGrid(cellCount()));
        luma_.assign(kFrames, LumaGrid(cellCount()));
        for (int f = 0; f < kFrames; ++f)
            frameConversionKernels(bestSimdLevel())
                .convert(frameBufferView(frames_[f], width_), width_, height_, allRows(height_),
                         rgb_[f], luma_[f]);
        WorkerPool pool(1);
        MotionDetector detector(static_cast<int>(cellCount()), pool);
        detector.detect(luma_[kFrames - 1], kThreshold);
        masks_.resize(kFrames);
        for (int f = 0; f < kFrames; ++f) {
            detector.detect(luma_[f], kThreshold);
            masks_[f] = detector.motionMask();
        }
    }

    int width_;
    int height_;
    std::vector<std::vector<std::uint8_t>> frames_;
    std::vector<RgbGrid> rgb_;
    std::vector<LumaGrid> luma_;
    std::vector<MotionMask> masks_;
};

}  // namespace tavlomi::bench
