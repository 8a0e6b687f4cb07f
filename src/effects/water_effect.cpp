#include "effects/water_effect.hpp"

#include <cmath>
#include <utility>

#include "common/int_math.hpp"

namespace tavlomi {

namespace {

constexpr int kKeyF = 102;
constexpr int kKeySpace = 32;

constexpr int kDropRadius = 8;
constexpr int kDropDepth = -400;
constexpr int kMotionDepth = -400;

}  // namespace

WaterEffect::WaterEffect(int width, int height, int damping, const MotionMask& mask,
                         const RgbGrid& rgb, StatusSink& status)
    : width_(width),
      height_(height),
      cellCount_(width * height),
      rgb_(rgb),
      mask_(mask),
      damping_(damping),
      status_(status),
      currentHeights_(static_cast<std::size_t>(cellCount_), 0),
      nextHeights_(static_cast<std::size_t>(cellCount_), 0) {
    makeDrop(kDropRadius, kDropDepth);
    status_.print("< Water Effect initialized >\n");
}

void WaterEffect::update() {
    if (!respondToBall_) seedFromMotion(kMotionDepth);
    if (!frozen_) propagate();
}

void WaterEffect::seedFromMotion(int depth) {
    for (int i = 0; i < cellCount_; ++i) {
        if (mask_[i] != 0) currentHeights_[i] = depth;
    }
}

void WaterEffect::propagate() {
    // Without an interior (fewer than 3 rows or columns) there is nothing to ripple, and the
    // border columns have no inner neighbour to copy, so no cell is written.
    const bool hasInterior = width_ >= 3 && height_ >= 3;
    if (hasInterior) {
        const int w = width_;
        for (int y = 1; y <= height_ - 2; ++y) {
            for (int x = 1; x <= width_ - 2; ++x) {
                const int j = y * w + x;
                const int s = currentHeights_[j - w - 1] + currentHeights_[j - w] +
                              currentHeights_[j - w + 1] + currentHeights_[j - 1] +
                              currentHeights_[j + 1] + currentHeights_[j + w - 1] +
                              currentHeights_[j + w] + currentHeights_[j + w + 1];
                const int v = asr(s, 2) - nextHeights_[j];
                nextHeights_[j] = v - div_trunc(v, damping_);
            }
            const int row = y * w;
            nextHeights_[row + w - 1] = nextHeights_[row + w - 2];
            nextHeights_[row] = nextHeights_[row + 1];
        }
    }
    swapBuffers();
}

void WaterEffect::swapBuffers() {
    std::swap(currentHeights_, nextHeights_);
}

void WaterEffect::render(std::span<std::uint32_t> pixels) {
    const int w = width_;
    for (int y = 0; y <= height_ - 2; ++y) {
        for (int x = 0; x <= width_ - 2; ++x) {
            const int j = y * w + x;
            const int dx = currentHeights_[j] - currentHeights_[j + 1];
            const int dy = currentHeights_[j] - currentHeights_[j + w];
            const int sx = clamp_to(x + asr(dx, 3), 0, width_ - 1);
            const int sy = clamp_to(y + asr(dy, 3), 0, height_ - 1);
            const RgbCell& source = rgb_[sy * w + sx];
            const int shade = asr(dx + dy, 1);
            pixels[j] = pixelWord(clamp_u8(source.r + shade), clamp_u8(source.g + shade),
                                  clamp_u8(source.b + shade));
        }
    }
}

void WaterEffect::handleKey(int key) {
    if (key == kKeyF) {
        frozen_ = !frozen_;
        status_.print(frozen_ ? "< Frozen >\n" : "< Unfrozen >\n");
    } else if (key == kKeySpace) {
        respondToBall_ = !respondToBall_;
        status_.print(respondToBall_ ? "< Water responding to Ball >\n"
                                     : "< Water responding to Movement >\n");
    }
}

void WaterEffect::ballMoved(int x, int y) {
    if (lastBallX_ == kNoBallCell) {
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
            currentHeights_[row * width_ + column] += drop_.at(a, c);
        }
    }
}

}  // namespace tavlomi
