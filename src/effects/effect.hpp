#pragma once

// The interface through which the shell drives whichever effect is current. Per frame an effect
// sees, in order: any handleKey calls, at most one ballMoved, then update(), then render().
// Effects read the shared grids they were built with and never write them.

#include <cstdint>
#include <span>

namespace tavlomi {

class Effect {
  public:
    virtual ~Effect() = default;

    // Advance the effect by one frame.
    virtual void update() = 0;
    // Write the picture: gridWidth * gridHeight words 0xFFRRGGBB, row-major, top row first.
    // A word left unwritten keeps what the surface held, since the shell never clears it.
    virtual void render(std::span<std::uint32_t> pixels) = 0;
    // An SDL 1.2 key code that the shell did not consume.
    virtual void handleKey(int key) = 0;
    // The grid cell (column, row) under the ball, sent whenever the ball's position changed.
    virtual void ballMoved(int x, int y) = 0;
};

}  // namespace tavlomi
