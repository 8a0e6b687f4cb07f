#pragma once

// A built-in moving picture for running the toy without a camera: a slowly scrolling, textured
// rainbow background with bright glowing blobs gliding over it on smooth looping paths. Frame n
// depends on n alone, so every run shows the same film.

#include <cstdint>
#include <span>
#include <vector>

#include "capture/frame_source.hpp"

namespace tavlomi {

class TestSceneSource final : public FrameSource {
  public:
    // Any size from 1 x 1 up; a non-positive size gives an empty picture.
    TestSceneSource(int width, int height);

    // Writes the next frame and returns true. A frameBuffer that is not 3 * width * height bytes
    // is left untouched and false is returned, and the film does not advance.
    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override;

    // Frames written so far; the next call writes frame number framesWritten().
    std::uint64_t framesWritten() const { return frame_; }

  private:
    struct BlobPlacement {
        int centreX16;  // in sixteenths of a pixel, from the picture's left
        int centreY16;  // in sixteenths of a pixel, from the picture's top
    };

    void drawBackground(std::span<std::uint8_t> frameBuffer) const;
    void drawBlob(std::span<std::uint8_t> frameBuffer, BlobPlacement place, int radius16, int r,
                  int g, int b) const;
    BlobPlacement placeBlob(int blob) const;

    int width_;
    int height_;
    std::uint64_t frame_ = 0;
    int glowRadius16_;
    int coreRadius16_;
    // One period of the background, top row first, B, G, R per pixel; the picture scrolls
    // through it and wraps around.
    std::vector<std::uint8_t> background_;
    // Blend weight 0..256 of a blob's colour by squared distance from its centre, indexed by
    // 256 * distance^2 / radius^2.
    std::vector<int> falloff_;
};

}  // namespace tavlomi
