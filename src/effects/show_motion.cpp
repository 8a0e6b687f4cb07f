#include "effects/show_motion.hpp"

#include <cstddef>

#include "common/simd_level.hpp"

namespace tavlomi {

TAVLOMI_VECTOR_LOOP void opaquePixels(std::span<const RgbCell> rgb,
                                      std::span<std::uint32_t> pixels) {
    // A whole word per cell: the compiler turns this into one vector OR per group of cells.
    const RgbCell* cells = rgb.data();
    std::uint32_t* words = pixels.data();
    for (std::size_t i = 0; i < rgb.size(); ++i)
        words[i] = cellWord(cells[i]) | 0xFF000000u;
}

ShowMotion::ShowMotion(int width, int height, const RgbGrid& rgb, StatusSink& status,
                       WorkerPool& pool)
    : cellCount_(width * height), rgb_(rgb), pool_(pool) {
    status.print("< ShowMotion responding to Ball >\n");
}

void ShowMotion::render(std::span<std::uint32_t> pixels) {
    pool_.forEachCellRun(cellCount_, [&](std::size_t first, std::size_t count) {
        opaquePixels(std::span(rgb_).subspan(first, count), pixels.subspan(first, count));
    });
}

}  // namespace tavlomi
