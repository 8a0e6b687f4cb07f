#include "effects/fire_effect.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "common/grid_storage.hpp"
#include "common/input_event.hpp"
#include "common/int_math.hpp"
#include "effects/noise_field.hpp"

namespace tavlomi {

namespace {

// The cooling map: 210 points, values 0..6, 10 spreading and 40 softening passes.
constexpr int kCoolingPoints = 210;
constexpr int kCoolingScale = 6;
constexpr int kCoolingSpreadPasses = 10;
constexpr int kCoolingSoftenPasses = 40;

constexpr int kBrushPeak = 255;
constexpr int kSeedPeak = 254;

}  // namespace

FireEffect::FireEffect(int width, int height, const MotionMask& mask, const RgbGrid& rgb,
                       PortableRand& random, StatusSink& status, SimdLevel level)
    : width_(width),
      height_(height),
      cellCount_(width * height),
      currentHeat_(makeGrid<std::uint8_t>(static_cast<std::size_t>(cellCount_))),
      nextHeat_(makeGrid<std::uint8_t>(static_cast<std::size_t>(cellCount_))),
      ballHeat_(makeGrid<std::uint8_t>(static_cast<std::size_t>(cellCount_))),
      mask_(mask),
      rgb_(rgb),
      random_(random),
      status_(status),
      kernels_(fireKernels(level)),
      coolingMap_(generateNoiseField(width, height, kCoolingPoints, kCoolingScale,
                                     kCoolingSpreadPasses, kCoolingSoftenPasses, random, level)) {
    makeHeatBrush(kBrushPeak);
    palette_.fill(makeRgbCell(0, 0, 0));
    loadFirePalette();
    status_.print("< Fire Effect innitialized >\n");
}

void FireEffect::update() {
    if (respondToBall_) {
        if (hasBallCell_) stampHeatBrush(lastBallX_, lastBallY_);
        fadeAndMergeBallHeat();
    } else {
        seedFromMotion(kSeedPeak);
    }
    propagate();
}

void FireEffect::render(std::span<std::uint32_t> pixels) {
    kernels_.render(currentHeat_, palette_, rgb_, pixels.first(currentHeat_.size()));
}

void FireEffect::handleKey(int key) {
    if (key == keys::kF) {
        ++paletteIndex_;
        if (paletteIndex_ > 1) paletteIndex_ = 0;
        if (paletteIndex_ == 0) {
            loadFirePalette();
        } else {
            loadBluePalette();
        }
    } else if (key == keys::kSpace) {
        respondToBall_ = !respondToBall_;
        if (respondToBall_) {
            std::fill(ballHeat_.begin(), ballHeat_.end(), 0);
            status_.print("< Fire responding to Ball >\n");
        } else {
            status_.print("< Fire responding to Movement >\n");
        }
    }
}

void FireEffect::ballMoved(int x, int y) {
    hasBallCell_ = true;
    lastBallX_ = x;
    lastBallY_ = y;
}

void FireEffect::stampHeatBrush(int x, int y) {
    // The ball keeps the whole disc inside grids of 32 cells and more; on smaller grids the
    // brush cells beyond an edge are dropped.
    for (int a = 0; a < kHeatBrushSide; ++a) {
        const std::int64_t row = static_cast<std::int64_t>(y) - kHeatBrushRadius + a;
        if (row < 0 || row >= height_) continue;
        for (int b = 0; b < kHeatBrushSide; ++b) {
            const std::int64_t column = static_cast<std::int64_t>(x) - kHeatBrushRadius + b;
            if (column < 0 || column >= width_) continue;
            const int value = heatBrush_[a][b];
            if (value > 0) {
                ballHeat_[static_cast<std::size_t>(row * width_ + column)] =
                    static_cast<std::uint8_t>(value);
            }
        }
    }
}

void FireEffect::fadeAndMergeBallHeat() {
    ++fadeCounter_;
    const bool fade = fadeCounter_ > 1;
    if (fade) fadeCounter_ = 0;
    fireFadeAndMerge(ballHeat_, currentHeat_, fade);
}

void FireEffect::seedFromMotion(int peak) {
    kernels_.seed(mask_, currentHeat_, width_, height_, peak, random_);
}

void FireEffect::propagate() {
    coolingScroll_ -= width_;
    if (coolingScroll_ < 0) coolingScroll_ = cellCount_ - width_;
    kernels_.propagate(currentHeat_, nextHeat_, coolingMap_, width_, height_, coolingScroll_);
    swapBuffers();
}

void FireEffect::swapBuffers() {
    std::swap(currentHeat_, nextHeat_);
}

void FireEffect::makeHeatBrush(int peak) {
    const float radius = static_cast<float>(kHeatBrushRadius);
    const int spread = div_trunc(peak, 7);
    for (int b = 0; b < kHeatBrushSide; ++b) {
        for (int a = 0; a < kHeatBrushSide; ++a) {
            const double da = static_cast<double>(radius - static_cast<float>(a));
            const double db = static_cast<double>(radius - static_cast<float>(b));
            const bool inside = std::sqrt(da * da + db * db) <= static_cast<double>(radius);
            heatBrush_[a][b] = inside ? peak - spread + random_.rand() % spread : 0;
        }
    }
}

void FireEffect::loadFirePalette() {
    for (int k = 0; k < 85; ++k) {
        palette_[k] = makeRgbCell(3 * k, 0, 0);
        palette_[85 + k] = makeRgbCell(255, 3 * k, 0);
        palette_[170 + k] = makeRgbCell(255, 255, 3 * k);
    }
    palette_[254] = makeRgbCell(255, 255, 255);
    palette_[255] = makeRgbCell(255, 255, 255);
}

void FireEffect::loadBluePalette() {
    for (int k = 0; k < 85; ++k) {
        palette_[k] = makeRgbCell(0, 0, 3 * k);
        palette_[85 + k] = makeRgbCell(0, 3 * k, 255);
        palette_[170 + k] = makeRgbCell(3 * k, 255, 255);
    }
    palette_[254] = makeRgbCell(255, 255, 255);
    palette_[255] = makeRgbCell(255, 255, 255);
}

}  // namespace tavlomi
