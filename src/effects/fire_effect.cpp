#include "effects/fire_effect.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
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
                       PortableRand& random, StatusSink& status, WorkerPool& pool, SimdLevel level)
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
      pool_(pool),
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
    pool_.forEachCellRun(cellCount_, [&](std::size_t first, std::size_t count) {
        kernels_.render(std::span(currentHeat_).subspan(first, count), palette_,
                        std::span(rgb_).subspan(first, count), pixels.subspan(first, count));
    });
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
    pool_.forEachCellRun(cellCount_, [&](std::size_t first, std::size_t count) {
        fireFadeAndMerge(std::span(ballHeat_).subspan(first, count),
                         std::span(currentHeat_).subspan(first, count), fade);
    });
}

void FireEffect::seedFromMotion(int peak) {
    const RowRange rows = allRows(height_);
    const int bands = pool_.bandCount(rows);
    if (bands <= 1) {
        kernels_.seed(mask_, currentHeat_, width_, height_, peak, random_, rows);
        return;
    }
    // The draws go to the motion cells in row-major order. Each band counts its own; then each
    // takes a copy of the generator moved past the draws of the bands above it.
    std::array<std::uint64_t, WorkerPool::kMaxBands> drawsBefore{};
    pool_.forEachBand(rows, [&](RowBand band) {
        drawsBefore[static_cast<std::size_t>(band.index)] =
            fireSeedDraws(mask_, width_, height_, band.rows);
    });
    std::uint64_t draws = 0;
    for (int band = 0; band < bands; ++band) {
        const std::uint64_t own = drawsBefore[static_cast<std::size_t>(band)];
        drawsBefore[static_cast<std::size_t>(band)] = draws;
        draws += own;
    }
    pool_.forEachBand(rows, [&](RowBand band) {
        PortableRand random = random_;
        random.discard(drawsBefore[static_cast<std::size_t>(band.index)]);
        kernels_.seed(mask_, currentHeat_, width_, height_, peak, random, band.rows);
    });
    random_.discard(draws);
}

void FireEffect::propagate() {
    coolingScroll_ -= width_;
    if (coolingScroll_ < 0) coolingScroll_ = cellCount_ - width_;
    // Each row of the new heat reads only the old one, which no band writes.
    pool_.forEachBand(allRows(height_), [&](RowBand band) {
        kernels_.propagate(currentHeat_, nextHeat_, coolingMap_, width_, height_, coolingScroll_,
                           band.rows);
    });
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
