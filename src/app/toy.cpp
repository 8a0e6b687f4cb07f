#include "app/toy.hpp"

#include <string>

#include "common/int_math.hpp"

namespace tavlomi {

Toy::Toy(int gridWidth, int gridHeight, FrameSource& source, StatusSink& status, int threadCount)
    : gridWidth_(gridWidth),
      gridHeight_(gridHeight),
      status_(status),
      workerPool_(threadCount),
      captureSource_(gridWidth, gridHeight, source, workerPool_),
      motionDetector_(gridWidth * gridHeight, workerPool_),
      ball_(static_cast<float>(gridWidth * 0.5), static_cast<float>(gridHeight * 0.5), scale_,
            kBallRadius, motionDetector_.motionMask(), gridWidth, gridHeight),
      showMotion_(gridWidth, gridHeight, captureSource_.getRgbGrid(), status, workerPool_),
      waterEffect_(gridWidth, gridHeight, kWaterDamping, motionDetector_.motionMask(),
                   captureSource_.getRgbGrid(), status, workerPool_),
      fireEffect_(gridWidth, gridHeight, motionDetector_.motionMask(), captureSource_.getRgbGrid(),
                  random_, status, workerPool_),
      effectTable_{&showMotion_, &waterEffect_, &fireEffect_},
      currentEffect_(effectTable_[0]) {}

void Toy::detectMotion() {
    captureFrame();
    markMotion();
}

void Toy::captureFrame() {
    captureSource_.grabFrame();
}

void Toy::markMotion() {
    motionDetector_.detect(captureSource_.getLumaGrid(), motionThreshold_);
}

void Toy::stepBall() {
    ball_.update();
    const Vec2& position = ball_.position();
    if (position.x != previousBallPosition_.x || position.y != previousBallPosition_.y) {
        currentEffect_->ballMoved(trunc_to_int(static_cast<double>(position.x) / scale_),
                                  trunc_to_int(static_cast<double>(position.y) / scale_));
    }
    previousBallPosition_ = position;
}

void Toy::adjustThreshold(bool up) {
    motionThreshold_ += up ? 1 : -1;
    status_.print("< Threshold is now: " + std::to_string(motionThreshold_) + " >\n");
}

int Toy::currentEffectIndex() const {
    for (std::size_t i = 0; i < effectTable_.size(); ++i) {
        if (effectTable_[i] == currentEffect_) return static_cast<int>(i);
    }
    return 0;
}

}  // namespace tavlomi
