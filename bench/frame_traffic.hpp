#pragma once

// What one frame moves through memory, stage by stage, counted from the sizes of the grids each
// stage's loops stream through once a frame. A store into a line the loop has not read costs the
// line's read as well (a read for ownership) unless the copy streams past the cache; the counts
// leave that out, so a stage of plain stores can run up to half again above its bound.

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/grid.hpp"

namespace tavlomi::bench {

// The steps of one frame in the frame loop's order, the screen's among them.
enum class Stage {
    Events,
    ReadClip,
    Conversion,
    Motion,
    Ball,
    Update,
    Clear,
    Render,
    Blit,
    DrawBall,
    Present,
};
constexpr int kStageCount = 11;

constexpr std::array<const char*, kStageCount> kStageNames = {
    "events",      "reading the clip", "conversion",    "motion",
    "ball",        "effect update",    "screen clear",  "render",
    "screen copy", "ball drawing",     "SDL's present",
};

// Bytes per cell of what the stages stream through.
constexpr double kClipBytes = 3;  // B G R, as the frame buffer holds them
constexpr double kRgbBytes = sizeof(RgbCell);
constexpr double kLumaBytes = sizeof(LumaGrid::value_type);
constexpr double kMaskBytes = sizeof(MotionMask::value_type);
constexpr double kHeightBytes = sizeof(int);  // the water's two height buffers
constexpr double kHeatBytes = 1;              // the fire's heat layers and cooling map
constexpr double kPixelBytes = sizeof(std::uint32_t);
// The SDL 1.2 compatibility layer presents the screen in two copies: into SDL 2's texture, and
// from there, through the software renderer, into the window's surface.
constexpr double kPresentCopies = 2;

struct Traffic {
    double read = 0;
    double written = 0;
    double total() const { return read + written; }
};

// What the frame's effect does, as far as the counts depend on it.
struct FrameShape {
    std::size_t cells = 0;
    int effect = 0;  // 0 plain view, 1 water, 2 fire
    bool respondToBall = true;
    bool frozen = false;  // the water's
    // Share of the mask's 64-cell blocks that hold motion, 0..1: the seeding loops skip the rest.
    double motionBlocks = 0;
};

inline Traffic stageTraffic(Stage stage, const FrameShape& shape) {
    const double c = static_cast<double>(shape.cells);
    const bool water = shape.effect == 1;
    const bool fire = shape.effect == 2;
    switch (stage) {
        case Stage::ReadClip:
            // From the page cache into the frame buffer.
            return {kClipBytes * c, kClipBytes * c};
        case Stage::Conversion:
            return {kClipBytes * c, (kRgbBytes + kLumaBytes) * c};
        case Stage::Motion:
            // The luma and the previous luma in; the mask and the new previous luma out.
            return {2 * kLumaBytes * c, (kMaskBytes + kLumaBytes) * c};
        case Stage::Update: {
            Traffic t;
            if (water && !shape.respondToBall) {
                t.read += kMaskBytes * c;
                t.written += kHeightBytes * c * shape.motionBlocks;
            }
            if (water && !shape.frozen) {
                // Both buffers in, the older one rewritten.
                t.read += 2 * kHeightBytes * c;
                t.written += kHeightBytes * c;
            }
            if (fire && shape.respondToBall) {
                // The ball's layer faded and merged into the heat.
                t.read += 2 * kHeatBytes * c;
                t.written += 2 * kHeatBytes * c;
            }
            if (fire && !shape.respondToBall) {
                t.read += kMaskBytes * c;
                t.written += kHeatBytes * c * shape.motionBlocks;
            }
            if (fire) {
                // The heat and the cooling map in, the other heat buffer out.
                t.read += 2 * kHeatBytes * c;
                t.written += kHeatBytes * c;
            }
            return t;
        }
        case Stage::Render: {
            const double layer = water ? kHeightBytes : fire ? kHeatBytes : 0;
            return {(layer + kRgbBytes) * c, kPixelBytes * c};
        }
        case Stage::Blit:
            return {kPixelBytes * c, kPixelBytes * c};
        case Stage::Present:
            return {kPresentCopies * kPixelBytes * c, kPresentCopies * kPixelBytes * c};
        case Stage::Events:
        case Stage::Ball:
        case Stage::Clear:  // the effect picture covers the whole screen
        case Stage::DrawBall:
            return {};
    }
    return {};
}

}  // namespace tavlomi::bench
