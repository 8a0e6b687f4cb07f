#include "capture/test_scene_source.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "common/int_math.hpp"

namespace tavlomi {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Entries in one period of the background's colour and stripe tables; a power of two so that an
// index wraps with a mask.
constexpr int kTableSize = 1024;

// Frames the background takes to scroll by one whole picture width and height.
constexpr std::uint64_t kScrollFramesX = 1500;
constexpr std::uint64_t kScrollFramesY = 2300;

// Checker squares across and down, and diagonal stripes across and down, in one picture.
constexpr int kCheckersX = 8;
constexpr int kCheckersY = 6;
constexpr int kStripesX = 7;
constexpr int kStripesY = 5;

// How far a blob swings from the picture's centre, as a fraction of the picture's size.
constexpr double kSwing = 0.36;

// Blob radii as a percentage of the shorter side of the picture.
constexpr int kGlowPercent = 16;

struct BlobPath {
    double periodX;  // frames for one swing left and right
    double periodY;  // frames for one swing up and down
    double phaseX;   // radians
    double phaseY;   // radians
    int r, g, b;
};

// Periods of different lengths make each blob trace a Lissajous figure that takes a long time to
// repeat, and the three never move in step.
constexpr std::array<BlobPath, 3> kBlobs{{
    {410.0, 290.0, 0.0, 1.3, 255, 180, 40},
    {530.0, 370.0, 2.1, 0.4, 60, 215, 255},
    {350.0, 610.0, 4.0, 2.6, 255, 70, 205},
}};

// The blobs' hot centres.
constexpr int kCoreR = 255, kCoreG = 250, kCoreB = 235;

std::uint8_t blendChannel(std::uint8_t under, int over, int weight) {
    return static_cast<std::uint8_t>(under + asr((over - under) * weight, 8));
}

}  // namespace

TestSceneSource::TestSceneSource(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      glowRadius16_(std::max(16, std::min(width_, height_) * 16 * kGlowPercent / 100)),
      coreRadius16_(std::max(8, glowRadius16_ / 3)),
      background_(3 * static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)),
      falloff_(256) {
    // A flat bright middle, then a smooth edge that fades to nothing at the radius.
    for (int i = 0; i < 256; ++i) {
        const double s = i / 256.0;
        const double t = s <= 0.2 ? 0.0 : (s - 0.2) / 0.8;
        falloff_[static_cast<std::size_t>(i)] =
            static_cast<int>(std::lround(256.0 * (1.0 - t * t * (3.0 - 2.0 * t))));
    }

    // Muted rainbow and stripe tables; each pixel of the background only looks them up.
    std::vector<std::array<double, 3>> hue(kTableSize);
    std::vector<double> stripe(kTableSize);
    for (int i = 0; i < kTableSize; ++i) {
        const double h = static_cast<double>(i) / kTableSize;
        const auto channel = [h](double shift) {
            return 45.0 + 95.0 * (0.5 + 0.5 * std::cos(kTwoPi * (h - shift)));
        };
        hue[static_cast<std::size_t>(i)] = {channel(2.0 / 3.0), channel(1.0 / 3.0), channel(0.0)};
        stripe[static_cast<std::size_t>(i)] = 1.0 + 0.14 * std::sin(kTwoPi * h);
    }

    // Every pattern repeats a whole number of times across and down, so the background wraps
    // seamlessly as it scrolls.
    const std::int64_t w = width_, h = height_;
    for (std::int64_t y = 0; y < h; ++y) {
        const std::int64_t hueY = y * kTableSize / h;
        const std::int64_t stripeY = y * kTableSize * kStripesY / h;
        const std::int64_t checkerY = y * kCheckersY / h;
        for (std::int64_t x = 0; x < w; ++x) {
            const std::int64_t hueX = x * kTableSize / w;
            const std::int64_t stripeX = x * kTableSize * kStripesX / w;
            const std::int64_t checkerX = x * kCheckersX / w;
            const auto& colour = hue[static_cast<std::size_t>((hueX + hueY) & (kTableSize - 1))];
            const double shade =
                stripe[static_cast<std::size_t>((stripeX - stripeY) & (kTableSize - 1))] *
                (((checkerX + checkerY) & 1) != 0 ? 1.2 : 0.8);
            std::uint8_t* pixel = &background_[static_cast<std::size_t>(3 * (y * w + x))];
            for (int c = 0; c < 3; ++c) {
                pixel[c] = static_cast<std::uint8_t>(
                    clamp_u8(trunc_to_int(colour[static_cast<std::size_t>(c)] * shade)));
            }
        }
    }
}

bool TestSceneSource::copyNewestFrame(std::span<std::uint8_t> frameBuffer) {
    if (frameBuffer.size() != background_.size()) return false;
    if (!background_.empty()) {
        drawBackground(frameBuffer);
        for (int blob = 0; blob < static_cast<int>(kBlobs.size()); ++blob) {
            const BlobPath& path = kBlobs[static_cast<std::size_t>(blob)];
            const BlobPlacement place = placeBlob(blob);
            drawBlob(frameBuffer, place, glowRadius16_, path.r, path.g, path.b);
            drawBlob(frameBuffer, place, coreRadius16_, kCoreR, kCoreG, kCoreB);
        }
    }
    ++frame_;
    return true;
}

void TestSceneSource::drawBackground(std::span<std::uint8_t> frameBuffer) const {
    const auto w = static_cast<std::uint64_t>(width_);
    const auto h = static_cast<std::uint64_t>(height_);
    const auto scrollX = static_cast<std::size_t>(frame_ % (kScrollFramesX * w) / kScrollFramesX);
    const auto scrollY = static_cast<std::size_t>(frame_ % (kScrollFramesY * h) / kScrollFramesY);
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(width_);
    const std::size_t leftPart = rowBytes - 3 * scrollX;
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* source = &background_[(y + scrollY) % h * rowBytes];
        std::uint8_t* target = frameBuffer.data() + (h - 1 - y) * rowBytes;
        std::memcpy(target, source + 3 * scrollX, leftPart);
        std::memcpy(target + leftPart, source, 3 * scrollX);
    }
}

TestSceneSource::BlobPlacement TestSceneSource::placeBlob(int blob) const {
    const BlobPath& path = kBlobs[static_cast<std::size_t>(blob)];
    const auto t = static_cast<double>(frame_);
    const double u = 0.5 + kSwing * std::sin(kTwoPi * t / path.periodX + path.phaseX);
    const double v = 0.5 + kSwing * std::sin(kTwoPi * t / path.periodY + path.phaseY);
    return {trunc_to_int(u * width_ * 16.0), trunc_to_int(v * height_ * 16.0)};
}

void TestSceneSource::drawBlob(std::span<std::uint8_t> frameBuffer, BlobPlacement place,
                               int radius16, int r, int g, int b) const {
    const int left = std::max(0, asr(place.centreX16 - radius16, 4));
    const int right = std::min(width_ - 1, asr(place.centreX16 + radius16, 4));
    const int top = std::max(0, asr(place.centreY16 - radius16, 4));
    const int bottom = std::min(height_ - 1, asr(place.centreY16 + radius16, 4));
    const std::int64_t radiusSquared = static_cast<std::int64_t>(radius16) * radius16;
    for (int y = top; y <= bottom; ++y) {
        const std::int64_t dy = y * 16 + 8 - place.centreY16;
        std::uint8_t* row =
            frameBuffer.data() + 3 * static_cast<std::size_t>(height_ - 1 - y) * width_;
        for (int x = left; x <= right; ++x) {
            const std::int64_t dx = x * 16 + 8 - place.centreX16;
            const std::int64_t distanceSquared = dx * dx + dy * dy;
            if (distanceSquared >= radiusSquared) continue;
            const int weight =
                falloff_[static_cast<std::size_t>(distanceSquared * 256 / radiusSquared)];
            std::uint8_t* pixel = row + 3 * static_cast<std::size_t>(x);
            pixel[0] = blendChannel(pixel[0], b, weight);
            pixel[1] = blendChannel(pixel[1], g, weight);
            pixel[2] = blendChannel(pixel[2], r, weight);
        }
    }
}

}  // namespace tavlomi
