#include "effects/show_motion.hpp"

namespace tavlomi {

ShowMotion::ShowMotion(int width, int height, const RgbGrid& rgb, StatusSink& status)
    : width_(width), height_(height), cellCount_(width * height), rgb_(rgb) {
    status.print("< ShowMotion responding to Ball >\n");
}

void ShowMotion::render(std::span<std::uint32_t> pixels) {
    for (int i = 0; i < cellCount_; ++i)
        pixels[i] = pixelWord(rgb_[i]);
}

}  // namespace tavlomi
