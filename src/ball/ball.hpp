#pragma once

// The magenta cross that motion pushes and the mouse drags. Motion cells inside a disc around
// the ball push it away; the pushes are blended with the last velocity and the ball moves by the
// result, held inside the window by a margin of 1.6 x radius.

#include "ball/vec2.hpp"
#include "common/grid.hpp"
#include "common/screen.hpp"

namespace tavlomi {

class Ball {
  public:
    // x, y: start position in window pixels, not clamped until the first update() or placeAt().
    // scale >= 1 window pixels per grid cell; mask holds gridWidth x gridHeight cells (both at
    // least 1), nonzero meaning motion, and must outlive the ball.
    Ball(float x, float y, int scale, int radius, const MotionMask& mask, int gridWidth,
         int gridHeight);

    // One physics step against the mask as it stands now.
    void update();
    // Puts the ball under the pointer (window pixels); the velocity is kept.
    void placeAt(int x, int y);
    // The cross: a horizontal and a vertical bar, 2 x radius long and 3 pixels thick.
    void draw(Screen& screen) const;

    const Vec2& position() const { return position_; }
    const Vec2& velocity() const { return velocity_; }
    float minX() const { return minX_; }
    float maxX() const { return maxX_; }
    float minY() const { return minY_; }
    float maxY() const { return maxY_; }
    int gridRadius() const { return gridRadius_; }

  private:
    // out may be the same object as an input.
    static void addVec(const Vec2& a, const Vec2& b, Vec2& out);
    static void scaleVec(const Vec2& v, float k, Vec2& out);
    // v must not be (0, 0).
    static void normalizeVec(Vec2& v);
    static int lengthSquared(int dx, int dy);
    // A crossed box (lower bound above upper) leaves the coordinate at the upper bound.
    void clampToBounds();

    Vec2 position_;
    Vec2 velocity_;
    // Equal to velocity_ outside update().
    Vec2 previousVelocity_;
    Vec2 force_;
    Vec2 scratch_;
    int radius_;
    int gridRadius_;
    int scale_;
    const MotionMask& mask_;
    int gridWidth_;
    int gridHeight_;
    float pixelWidth_;
    float pixelHeight_;
    float minX_;
    float maxX_;
    float minY_;
    float maxY_;
};

}  // namespace tavlomi
