#pragma once

// Fire burning over the camera picture. Each frame the heat rises: a cell takes the mean of its
// two side neighbours and the three cells in each of the two rows below, minus a cooling value
// from a noise map that scrolls one row per frame. Heat enters either from a disc stamped at the
// ball into a slowly fading layer, or from the motion cells; space switches between the two.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/grid.hpp"
#include "common/portable_rand.hpp"
#include "common/simd_level.hpp"
#include "common/status_sink.hpp"
#include "effects/effect.hpp"
#include "effects/fire_kernels.hpp"

namespace tavlomi {

class FireEffect final : public Effect {
  public:
    static constexpr int kHeatBrushRadius = 6;
    static constexpr int kHeatBrushSide = 2 * kHeatBrushRadius;
    // Indexed [row][column]; entry [6][6] lands on the ball's cell. Values 219..254 inside the
    // disc, 0 outside.
    using HeatBrush = std::array<std::array<int, kHeatBrushSide>, kHeatBrushSide>;
    // One colour per heat value 0..255.
    using Palette = FirePalette;

    // Reads `mask` and `rgb` (width x height cells each) for its whole life and never writes
    // them; `random` supplies the cooling-map points, the brush and the motion seeds. level
    // chooses the grid loops (one this processor supports); every level gives the same heat and
    // picture.
    FireEffect(int width, int height, const MotionMask& mask, const RgbGrid& rgb,
               PortableRand& random, StatusSink& status, SimdLevel level = bestSimdLevel());

    void update() override;
    void render(std::span<std::uint32_t> pixels) override;
    // 'f' switches between the fire and the blue palette; space between ball and movement.
    void handleKey(int key) override;
    // Only remembers the cell; update stamps there every ball-mode frame.
    void ballMoved(int x, int y) override;

    // Copies of the layers, row-major. Heat values lie in 0..254 in both heat buffers and in the
    // ball-heat layer.
    std::vector<int> currentHeat() const { return widened(currentHeat_); }
    std::vector<int> ballHeat() const { return widened(ballHeat_); }
    // Cooling values 0..6.
    std::vector<int> coolingMap() const { return widened(coolingMap_); }
    const HeatBrush& heatBrush() const { return heatBrush_; }
    const Palette& palette() const { return palette_; }
    // Index of the first cell of the cooling-map row used for grid row 1.
    int coolingScroll() const { return coolingScroll_; }
    bool respondToBall() const { return respondToBall_; }
    // 0: fire palette, 1: blue palette.
    int paletteIndex() const { return paletteIndex_; }
    // 0 or 1 between updates.
    int fadeCounter() const { return fadeCounter_; }

    // For tests only: overwrite a whole layer with `cells`, which must hold width x height values
    // in 0..255.
    void setHeatForTest(std::span<const int> cells);
    void setBallHeatForTest(std::span<const int> cells);
    void setCoolingMapForTest(std::span<const int> cells);

  private:
    void stampHeatBrush(int x, int y);
    void fadeAndMergeBallHeat();
    void seedFromMotion(int peak);
    void propagate();
    void swapBuffers();
    // Draws one number per disc cell, column by column.
    void makeHeatBrush(int peak);
    void loadFirePalette();
    void loadBluePalette();

    // lastBallX_ before the first ballMoved.
    static constexpr int kNoBall = 9999;

    // Every layer holds one byte per cell: all its values fit, and the grid loops move a quarter
    // of the memory that ints would take.
    using Layer = std::vector<std::uint8_t>;
    static std::vector<int> widened(const Layer& layer) {
        return std::vector<int>(layer.begin(), layer.end());
    }

    int width_;
    int height_;
    int cellCount_;
    Layer currentHeat_;
    Layer nextHeat_;
    Layer ballHeat_;
    int fadeCounter_ = 0;
    const MotionMask& mask_;
    const RgbGrid& rgb_;
    PortableRand& random_;
    StatusSink& status_;
    SimdLevel simdLevel_;
    Layer coolingMap_;
    int coolingScroll_ = 0;
    bool respondToBall_ = true;
    int lastBallX_ = kNoBall;
    int lastBallY_ = kNoBall;
    HeatBrush heatBrush_{};
    Palette palette_{};
    int paletteIndex_ = 0;
};

}  // namespace tavlomi
