#pragma once

// The plain view: the camera picture exactly as the RgbGrid holds it.

#include <cstdint>
#include <span>

#include "common/grid.hpp"
#include "common/status_sink.hpp"
#include "common/worker_pool.hpp"
#include "effects/effect.hpp"

namespace tavlomi {

// pixels[i] = pixelWord(rgb[i]) for every cell, whatever a cell's unused byte holds; both spans
// have the same size.
void opaquePixels(std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels);

class ShowMotion final : public Effect {
  public:
    // rgb and pool, whose threads copy the picture, must outlive the effect.
    ShowMotion(int width, int height, const RgbGrid& rgb, StatusSink& status, WorkerPool& pool);

    void update() override {}
    void render(std::span<std::uint32_t> pixels) override;
    void handleKey(int) override {}
    void ballMoved(int, int) override {}

  private:
    // The picture is copied cell for cell, so only the cell count matters.
    int cellCount_;
    const RgbGrid& rgb_;
    WorkerPool& pool_;
};

}  // namespace tavlomi
