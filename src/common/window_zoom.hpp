#pragma once

// How many window pixels a side each grid cell gets in window mode.

namespace tavlomi {

constexpr int kMinZoom = 1;
constexpr int kMaxZoom = 16;

// The largest zoom in kMinZoom..kMaxZoom that keeps a gridWidth x gridHeight grid within 60 %
// of the desktop's width and height; kMinZoom when the desktop's size is unknown (0 or less)
// or the grid already fills that much.
int chooseZoom(int gridWidth, int gridHeight, int desktopWidth, int desktopHeight);

}  // namespace tavlomi
