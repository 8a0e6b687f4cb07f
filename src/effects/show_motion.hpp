#pragma once

// The plain view: the camera picture exactly as the RgbGrid holds it.

#include "common/grid.hpp"
#include "common/status_sink.hpp"
#include "effects/effect.hpp"

namespace tavlomi {

class ShowMotion final : public Effect {
  public:
    ShowMotion(int width, int height, const RgbGrid& rgb, StatusSink& status);

    void update() override {}
    void render(std::span<std::uint32_t> pixels) override;
    void handleKey(int) override {}
    void ballMoved(int, int) override {}

  private:
    int width_;
    int height_;
    int cellCount_;
    const RgbGrid& rgb_;
};

}  // namespace tavlomi
