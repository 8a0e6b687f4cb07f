#pragma once

// A position or velocity in window pixels: two 32-bit floats, (0, 0) unless given both values.

namespace tavlomi {

struct Vec2 {
    float x = 0.0f;
    float y = 0.0f;
};

}  // namespace tavlomi
