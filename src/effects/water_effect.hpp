#pragma once

// A water surface through which the camera picture is seen: each cell holds a height, a ripple
// step spreads and damps the heights, and the picture is refracted and shaded by the local slope.
// The surface is disturbed either by drops where the ball moves or by the cells with motion.

#include <cstdint>
#include <span>
#include <vector>

#include "common/grid.hpp"
#include "common/simd_level.hpp"
#include "common/status_sink.hpp"
#include "common/worker_pool.hpp"
#include "effects/effect.hpp"
#include "effects/water_kernels.hpp"

namespace tavlomi {

class WaterEffect final : public Effect {
  public:
    // damping must not be 0; the shell passes 25. mask and rgb hold width * height cells; they
    // and pool, whose threads run the grid loops, must outlive the effect. level chooses the grid
    // loops (one this processor supports); every level and thread count gives the same surface
    // and picture.
    WaterEffect(int width, int height, int damping, const MotionMask& mask, const RgbGrid& rgb,
                StatusSink& status, WorkerPool& pool, SimdLevel level = bestSimdLevel());

    void update() override;
    // Writes every word except those of the last row and the last column.
    void render(std::span<std::uint32_t> pixels) override;
    void handleKey(int key) override;
    void ballMoved(int x, int y) override;

    bool frozen() const { return frozen_; }
    bool respondToBall() const { return respondToBall_; }

  private:
    friend struct WaterEffectProbe;

    // A square table of side 2 * radius holding a disc centred on entry [radius][radius].
    struct Drop {
        int radius = 0;
        int side = 0;
        // Row-major: entry [row][column] is entries[row * side + column].
        std::vector<int> entries;

        int at(int row, int column) const { return entries[row * side + column]; }
    };

    void seedFromMotion(int depth);
    void propagate();
    void swapBuffers();
    void makeDrop(int radius, int depth);
    // Adds the drop centred on (x, y); the parts of it that fall outside the grid are dropped.
    void stampDrop(int x, int y);

    int width_;
    int height_;
    int cellCount_;
    const RgbGrid& rgb_;
    const MotionMask& mask_;
    int damping_;
    StatusSink& status_;
    WorkerPool& pool_;
    const WaterKernels& kernels_;
    // The surface now, row-major; 0 is still water, dips are negative.
    std::vector<int> currentHeights_;
    // The surface one ripple step older.
    std::vector<int> nextHeights_;
    Drop drop_;
    // Whether ballMoved has recorded a cell yet; the cell is valid only then.
    bool hasBallCell_ = false;
    int lastBallX_ = 0;
    int lastBallY_ = 0;
    bool frozen_ = false;
    bool respondToBall_ = true;
};

}  // namespace tavlomi
