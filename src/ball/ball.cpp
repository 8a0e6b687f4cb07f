#include "ball/ball.hpp"

#include <cmath>
#include <cstdint>

#include "common/int_math.hpp"

namespace tavlomi {

namespace {

constexpr float kPushStrength = -0.3f;
constexpr float kVelocityBlend = 0.5f;
constexpr float kMarginFactor = 0.6f;
constexpr std::uint32_t kCrossColor = 0xFFFF00FF;

}  // namespace

Ball::Ball(float x, float y, int scale, int radius, const MotionMask& mask, int gridWidth,
           int gridHeight)
    : position_{x, y},
      radius_(radius),
      gridRadius_(div_trunc(radius, scale)),
      scale_(scale),
      mask_(mask),
      gridWidth_(gridWidth),
      gridHeight_(gridHeight),
      pixelWidth_(static_cast<float>(gridWidth * scale)),
      pixelHeight_(static_cast<float>(gridHeight * scale)) {
    const double margin =
        static_cast<double>(radius) + static_cast<double>(radius) * double{kMarginFactor};
    minX_ = static_cast<float>(margin);
    minY_ = static_cast<float>(margin);
    maxX_ = static_cast<float>(double{pixelWidth_} - margin);
    maxY_ = static_cast<float>(double{pixelHeight_} - margin);
}

void Ball::addVec(const Vec2& a, const Vec2& b, Vec2& out) {
    const float x = static_cast<float>(double{a.x} + double{b.x});
    const float y = static_cast<float>(double{a.y} + double{b.y});
    out.x = x;
    out.y = y;
}

void Ball::scaleVec(const Vec2& v, float k, Vec2& out) {
    const float x = static_cast<float>(double{k} * double{v.x});
    const float y = static_cast<float>(double{k} * double{v.y});
    out.x = x;
    out.y = y;
}

void Ball::normalizeVec(Vec2& v) {
    const double length = std::sqrt(double{v.x} * double{v.x} + double{v.y} * double{v.y});
    v.x = static_cast<float>(double{v.x} / length);
    v.y = static_cast<float>(double{v.y} / length);
}

int Ball::lengthSquared(int dx, int dy) {
    return dx * dx + dy * dy;
}

void Ball::clampToBounds() {
    // Written as "not >=" so that a NaN coordinate lands on the lower bound.
    if (!(position_.x >= minX_)) position_.x = minX_;
    if (position_.x > maxX_) position_.x = maxX_;
    if (!(position_.y >= minY_)) position_.y = minY_;
    if (position_.y > maxY_) position_.y = maxY_;
}

void Ball::update() {
    const int cx = trunc_to_int(double{position_.x} / static_cast<double>(scale_));
    const int cy = trunc_to_int(double{position_.y} / static_cast<double>(scale_));
    force_ = Vec2{};
    scratch_ = Vec2{};
    const int r = gridRadius_;
    for (int dy = -r; dy < r; ++dy) {
        for (int dx = -r; dx < r; ++dx) {
            if (!(lengthSquared(dx, dy) < r * r)) continue;
            const int column = clamp_to(cx + dx, 0, gridWidth_ - 1);
            const int row = clamp_to(cy + dy, 0, gridHeight_ - 1);
            if (mask_[row * gridWidth_ + column] != 0 && dx != 0 && dy != 0) {
                scratch_ = Vec2{static_cast<float>(dx), static_cast<float>(dy)};
                normalizeVec(scratch_);
                scaleVec(scratch_, kPushStrength, scratch_);
                addVec(force_, scratch_, force_);
            }
        }
    }
    addVec(force_, previousVelocity_, velocity_);
    scaleVec(velocity_, kVelocityBlend, velocity_);
    previousVelocity_ = velocity_;
    addVec(velocity_, position_, position_);
    clampToBounds();
}

void Ball::placeAt(int x, int y) {
    position_ = Vec2{static_cast<float>(x * scale_), static_cast<float>(y * scale_)};
    clampToBounds();
}

void Ball::draw(Screen& screen) const {
    const int ix = trunc_to_int(position_.x);
    const int iy = trunc_to_int(position_.y);
    // SDL_Rect fields keep the low 16 bits; the screen clips whatever lies outside it.
    screen.fillRect(
        ScreenRect{static_cast<std::int16_t>(ix - radius_), static_cast<std::int16_t>(iy - 1),
                   static_cast<std::uint16_t>(2 * radius_), std::uint16_t{3}},
        kCrossColor);
    screen.fillRect(
        ScreenRect{static_cast<std::int16_t>(ix - 1), static_cast<std::int16_t>(iy - radius_),
                   std::uint16_t{3}, static_cast<std::uint16_t>(2 * radius_)},
        kCrossColor);
}

}  // namespace tavlomi
