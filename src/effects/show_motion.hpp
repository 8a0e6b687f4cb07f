#pragma once

// The plain view: the camera picture exactly as the RgbGrid holds it.

#include <cstdint>
#include <span>

#include "common/grid.hpp"
#include "common/simd_level.hpp"
#include "common/status_sink.hpp"
#include "effects/effect.hpp"

namespace tavlomi {

// pixels[i] = pixelWord(rgb[i]) for every cell; both spans have the same size. The plain loop is
// the reference; the fast one gives the same words at every SimdLevel this processor supports.
void opaquePixelsPlain(std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels);
void opaquePixels(std::span<const RgbCell> rgb, std::span<std::uint32_t> pixels, SimdLevel level);

class ShowMotion final : public Effect {
  public:
    ShowMotion(int width, int height, const RgbGrid& rgb, StatusSink& status,
               SimdLevel level = bestSimdLevel());

    void update() override {}
    void render(std::span<std::uint32_t> pixels) override;
    void handleKey(int) override {}
    void ballMoved(int, int) override {}

  private:
    // The picture is copied cell for cell, so only the cell count matters.
    int cellCount_;
    const RgbGrid& rgb_;
    SimdLevel simdLevel_;
};

}  // namespace tavlomi
