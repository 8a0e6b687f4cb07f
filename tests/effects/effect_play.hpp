#pragma once

// The same few frames of play for every effect, at every level and thread count, against the
// reference loops on one thread: what is split into bands and what runs at a level must not
// change a pixel.

#include <cstdint>
#include <random>
#include <vector>

#include "effects/effect.hpp"
#include "support/kernel_sweep.hpp"

namespace tavlomi {

struct EffectPlay {
    GridSize size;
    RgbGrid rgb;
    std::vector<MotionMask> masks;

    // Three frames of the ball crossing the grid, then a space and one frame per mask of motion:
    // every picture, on a surface whose words the effect may leave unwritten.
    std::vector<std::uint32_t> play(Effect& effect, MotionMask& mask) const {
        std::vector<std::uint32_t> pixels(size.cells(), 0x12345678u), pictures;
        const int w = size.width, h = size.height;
        for (int frame = 0; frame < 3 + static_cast<int>(masks.size()); ++frame) {
            if (frame < 3) effect.ballMoved(frame * w / 3, h - 1 - frame * h / 3);
            if (frame == 3) effect.handleKey(32);
            if (frame >= 3) mask = masks[frame - 3];
            effect.update();
            effect.render(pixels);
            pictures.insert(pictures.end(), pixels.begin(), pixels.end());
        }
        return pictures;
    }
};

// play(in, level, pool) returns what one play left, as one value that == compares.
template <typename Play>
void sweepEffectPlays(Play play) {
    WorkerPool single(1);
    sweepThreaded(
        [](GridSize size, std::mt19937& random) {
            EffectPlay in{size, RgbGrid(size.cells()), {}};
            for (RgbCell& cell : in.rgb)
                cell = makeRgbCell(random() % 256, random() % 256, random() % 256);
            // Sparse motion as a camera gives it, half the cells, and motion everywhere.
            for (const int density : {9, 2, 1, 2}) {
                MotionMask& mask = in.masks.emplace_back(size.cells(), 0);
                for (std::uint8_t& cell : mask)
                    cell = random() % density == 0 ? 1 : 0;
            }
            return in;
        },
        [&](const EffectPlay& in) { return play(in, SimdLevel::Portable, single); }, play);
}

}  // namespace tavlomi
