#pragma once

// A camera that shows one uniform grey picture from its first frame on.

#include <algorithm>
#include <cstdint>
#include <span>

#include "capture/frame_source.hpp"

namespace tavlomi {

class UniformSource final : public FrameSource {
  public:
    explicit UniformSource(std::uint8_t level) : level_(level) {}
    bool copyNewestFrame(std::span<std::uint8_t> frame) override {
        std::fill(frame.begin(), frame.end(), level_);
        return true;
    }

  private:
    std::uint8_t level_;
};

}  // namespace tavlomi
