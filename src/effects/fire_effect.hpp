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
#include "common/worker_pool.hpp"
#include "effects/effect.hpp"
#include "effects/fire_kernels.hpp"

namespace tavlomi {

class FireEffect final : public Effect {
  public:
    // Reads `mask` and `rgb` (width x height cells each) for its whole life and never writes
    // them; `random` supplies the cooling-map points, the brush and the motion seeds. The grid
    // loops run on pool's threads; pool must outlive the effect. level chooses the grid loops (one
    // this processor supports); every level and thread count gives the same heat, picture and
    // draws.
    FireEffect(int width, int height, const MotionMask& mask, const RgbGrid& rgb,
               PortableRand& random, StatusSink& status, WorkerPool& pool,
               SimdLevel level = bestSimdLevel());

    void update() override;
    void render(std::span<std::uint32_t> pixels) override;
    // 'f' switches between the fire and the blue palette; space between ball and movement.
    void handleKey(int key) override;
    // Only remembers the cell; update stamps there every ball-mode frame.
    void ballMoved(int x, int y) override;

    bool respondToBall() const { return respondToBall_; }
    // 0: fire palette, 1: blue palette.
    int paletteIndex() const { return paletteIndex_; }

  private:
    friend struct FireEffectProbe;

    static constexpr int kHeatBrushRadius = 6;
    static constexpr int kHeatBrushSide = 2 * kHeatBrushRadius;
    // Indexed [row][column]; entry [6][6] lands on the ball's cell. Values 219..254 inside the
    // disc, 0 outside.
    using HeatBrush = std::array<std::array<int, kHeatBrushSide>, kHeatBrushSide>;

    void stampHeatBrush(int x, int y);
    void fadeAndMergeBallHeat();
    void seedFromMotion(int peak);
    void propagate();
    void swapBuffers();
    // Draws one number per disc cell, column by column.
    void makeHeatBrush(int peak);
    void loadFirePalette();
    void loadBluePalette();

    // Every layer holds one byte per cell: all its values fit, and the grid loops move a quarter
    // of the memory that ints would take. Heat values lie in 0..254 in both heat buffers and in
    // the ball-heat layer, cooling values in 0..6.
    using Layer = std::vector<std::uint8_t>;

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
    WorkerPool& pool_;
    const FireKernels& kernels_;
    Layer coolingMap_;
    // Index of the first cell of the cooling-map row used for grid row 1.
    int coolingScroll_ = 0;
    bool respondToBall_ = true;
    // Whether ballMoved has told a cell yet; the cell is valid only then.
    bool hasBallCell_ = false;
    int lastBallX_ = 0;
    int lastBallY_ = 0;
    HeatBrush heatBrush_{};
    FirePalette palette_{};
    int paletteIndex_ = 0;
};

}  // namespace tavlomi
