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
#include "common/status_sink.hpp"
#include "effects/effect.hpp"

namespace tavlomi {

class FireEffect final : public Effect {
  public:
    static constexpr int kHeatBrushRadius = 6;
    static constexpr int kHeatBrushSide = 2 * kHeatBrushRadius;
    // Indexed [row][column]; entry [6][6] lands on the ball's cell. Values 219..254 inside the
    // disc, 0 outside.
    using HeatBrush = std::array<std::array<int, kHeatBrushSide>, kHeatBrushSide>;
    // One colour per heat value 0..255.
    using Palette = std::array<RgbCell, 256>;

    // Reads `mask` and `rgb` (width x height cells each) for its whole life and never writes
    // them; `random` supplies the cooling-map points, the brush and the motion seeds.
    FireEffect(int width, int height, const MotionMask& mask, const RgbGrid& rgb,
               PortableRand& random, StatusSink& status);

    void update() override;
    void render(std::span<std::uint32_t> pixels) override;
    // 'f' switches between the fire and the blue palette; space between ball and movement.
    void handleKey(int key) override;
    // Only remembers the cell; update stamps there every ball-mode frame.
    void ballMoved(int x, int y) override;

    // Heat values lie in 0..254 in both heat buffers and in the ball-heat layer.
    const std::vector<int>& currentHeat() const { return currentHeat_; }
    const std::vector<int>& ballHeat() const { return ballHeat_; }
    // Cooling values 0..6.
    const std::vector<int>& coolingMap() const { return coolingMap_; }
    const HeatBrush& heatBrush() const { return heatBrush_; }
    const Palette& palette() const { return palette_; }
    // Index of the first cell of the cooling-map row used for grid row 1.
    int coolingScroll() const { return coolingScroll_; }
    bool respondToBall() const { return respondToBall_; }
    // 0: fire palette, 1: blue palette.
    int paletteIndex() const { return paletteIndex_; }
    // 0 or 1 between updates.
    int fadeCounter() const { return fadeCounter_; }

    // For tests only: overwrite a whole layer with `cells`, which must hold width x height values.
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

    int width_;
    int height_;
    int cellCount_;
    std::vector<int> currentHeat_;
    std::vector<int> nextHeat_;
    std::vector<int> ballHeat_;
    int fadeCounter_ = 0;
    const MotionMask& mask_;
    const RgbGrid& rgb_;
    PortableRand& random_;
    StatusSink& status_;
    std::vector<int> coolingMap_;
    int coolingScroll_ = 0;
    bool respondToBall_ = true;
    int lastBallX_ = kNoBall;
    int lastBallY_ = kNoBall;
    HeatBrush heatBrush_{};
    Palette palette_{};
    int paletteIndex_ = 0;
};

}  // namespace tavlomi
