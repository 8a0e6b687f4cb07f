#include "effects/water_effect.hpp"

#include <cmath>
#include <cstddef>
#include <utility>

#include "common/grid_storage.hpp"
#include "common/input_event.hpp"
#include "common/int_math.hpp"

namespace tavlomi {

namespace {

constexpr int kDropRadius = 8;
constexpr int kDropDepth = -400;
constexpr int kMotionDepth = -400;

}  // namespace

WaterEffect::WaterEffect(int width, int height, int damping, const MotionMask& mask,
                         const RgbGrid& rgb, StatusSink& status, WorkerPool& pool, SimdLevel level)
    : width_(width),
      height_(height),
      cellCount_(width * height),
      rgb_(rgb),
      mask_(mask),
      damping_(damping),
      status_(status),
      pool_(pool),
      kernels_(waterKernels(level)),
      currentHeights_(makeGrid<int>(static_cast<std::size_t>(cellCount_))),
      nextHeights_(makeGrid<int>(static_cast<std::size_t>(cellCount_))) {
    makeDrop(kDropRadius, kDropDepth);
    status_.print("< Water Effect initialized >\n");
}

void WaterEffect::update() {
    if (!respondToBall_) seedFromMotion(kMotionDepth);
    if (!frozen_) propagate();
}

void WaterEffect::seedFromMotion(int depth) {
    pool_.forEachCellRun(cellCount_, [&](std::size_t first, std::size_t count) {
        waterSeed(std::span(mask_).subspan(first, count),
                  std::span(currentHeights_).subspan(first, count), depth);
    });
}

void WaterEffect::propagate() {
    // Each row of the new surface reads only the old one, which no band writes.
    pool_.forEachBand(allRows(height_), [&](RowBand band) {
        kernels_.propagate(currentHeights_, nextHeights_, width_, height_, damping_, band.rows);
    });
    swapBuffers();
}

void WaterEffect::swapBuffers() {
    std::swap(currentHeights_, nextHeights_);
}

void WaterEffect::render(std::span<std::uint32_t> pixels) {
    pool_.forEachBand(allRows(height_), [&](RowBand band) {
        kernels_.render(currentHeights_, rgb_, pixels, width_, height_, band.rows);
    });
}

void WaterEffect::handleKey(int key) {
    if (key == keys::kF) {
        frozen_ = !frozen_;
        status_.print(frozen_ ? "< Frozen >\n" : "< Unfrozen >\n");
    } else if (key == keys::kSpace) {
        respondToBall_ = !respondToBall_;
        status_.print(respondToBall_ ? "< Water responding to Ball >\n"
                                     : "< Water responding to Movement >\n");
    }
}

void WaterEffect::ballMoved(int x, int y) {
    if (!hasBallCell_) {
        hasBallCell_ = true;
        lastBallX_ = x;
        lastBallY_ = y;
    }
    if (x == lastBallX_ && y == lastBallY_) return;
    if (respondToBall_) stampDrop(x, y);
    lastBallX_ = x;
    lastBallY_ = y;
}

void WaterEffect::makeDrop(int radius, int depth) {
    const int side = 2 * radius;
    drop_.radius = radius;
    drop_.side = side;
    drop_.entries.assign(static_cast<std::size_t>(side * side), 0);
    const float r = static_cast<float>(radius);
    const float deepest = static_cast<float>(depth);
    for (int a = 0; a < side; ++a) {
        for (int c = 0; c < side; ++c) {
            const double across = static_cast<double>(r) - c;
            const double down = static_cast<double>(r) - a;
            const double d = std::sqrt(across * across + down * down);
            float f = static_cast<float>(r - d);
            if (!(f > 0.0f)) f = 0.0f;
            drop_.entries[a * side + c] += trunc_to_int(static_cast<double>(f) / r * deepest);
        }
    }
}

void WaterEffect::stampDrop(int x, int y) {
    const int left = x - drop_.radius;
    const int top = y - drop_.radius;
    for (int a = 0; a < drop_.side; ++a) {
        const int row = top + a;
        if (row < 0 || row >= height_) continue;
        for (int c = 0; c < drop_.side; ++c) {
            const int column = left + c;
            if (column < 0 || column >= width_) continue;
            int& height = currentHeights_[row * width_ + column];
            height = wrap_add(height, drop_.at(a, c));
        }
    }
}

}  // namespace tavlomi
