#pragma once

// A recorded clip standing in for the camera: K frames in the frame buffer format, back to back.
// Call i (0-based) of copyNewestFrame delivers frame min(i, K - 1).

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "capture/frame_source.hpp"

namespace tavlomi {

class ClipFileSource final : public FrameSource {
  public:
    // nullptr and a reason in error when width or height is not positive, or the file cannot be
    // read or does not hold a whole number (at least one) of width x height frames.
    static std::unique_ptr<ClipFileSource> open(const std::string& path, int width, int height,
                                                std::string& error);

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override;
    long long frameCount() const { return frameCount_; }

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    ClipFileSource(std::unique_ptr<std::FILE, FileCloser> file, std::size_t frameBytes,
                   long long frameCount);

  private:
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::size_t frameBytes_;
    long long frameCount_;
    long long nextFrame_ = 0;
};

}  // namespace tavlomi
