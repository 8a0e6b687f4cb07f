#pragma once

// Everything the toy computes, without the platform: the camera grids, motion, the ball, the
// effect table and the motion threshold, created once in the original start-up order.

#include <array>
#include <span>

#include "ball/ball.hpp"
#include "ball/vec2.hpp"
#include "capture/capture_source.hpp"
#include "capture/frame_source.hpp"
#include "capture/motion_detector.hpp"
#include "common/portable_rand.hpp"
#include "common/screen.hpp"
#include "common/status_sink.hpp"
#include "common/worker_pool.hpp"
#include "effects/fire_effect.hpp"
#include "effects/show_motion.hpp"
#include "effects/water_effect.hpp"

namespace tavlomi {

class Toy final {
  public:
    static constexpr int kInitialThreshold = 14;
    static constexpr int kBallRadius = 10;
    static constexpr int kWaterDamping = 25;

    // The grid is the window's size, so one cell is one window pixel. The grid loops run on
    // threadCount threads (1..WorkerPool::kMaxThreads); every count gives the same pictures.
    Toy(int gridWidth, int gridHeight, FrameSource& source, StatusSink& status,
        int threadCount = 1);
    Toy(const Toy&) = delete;
    Toy& operator=(const Toy&) = delete;

    // The frame's steps after input dispatch, in order. detectMotion() is captureFrame() then
    // markMotion(), which a benchmark also times apart.
    void detectMotion();
    void captureFrame();
    void markMotion();
    void stepBall();
    void updateEffect() { currentEffect_->update(); }
    void renderEffect(std::span<std::uint32_t> pixels) { currentEffect_->render(pixels); }
    void drawBall(Screen& screen) const { ball_.draw(screen); }

    // What input dispatch drives, through the shell.
    void adjustThreshold(bool up);
    // index 0, 1 or 2 of the effect table.
    void selectEffect(int index) { currentEffect_ = effectTable_[static_cast<std::size_t>(index)]; }
    void passKey(int key) { currentEffect_->handleKey(key); }
    void placeBall(int x, int y) { ball_.placeAt(x, y); }

    int gridWidth() const { return gridWidth_; }
    int gridHeight() const { return gridHeight_; }
    int motionThreshold() const { return motionThreshold_; }
    int currentEffectIndex() const;
    const Ball& ball() const { return ball_; }
    // The threads of the grid loops, for the shell's own (the screen copy).
    WorkerPool& workerPool() { return workerPool_; }
    const RgbGrid& rgbGrid() const { return captureSource_.getRgbGrid(); }
    const MotionMask& motionMask() const { return motionDetector_.motionMask(); }
    // The effects' modes, for the help text.
    const WaterEffect& waterEffect() const { return waterEffect_; }
    const FireEffect& fireEffect() const { return fireEffect_; }

  private:
    int gridWidth_;
    int gridHeight_;
    int scale_ = 1;
    StatusSink& status_;
    int motionThreshold_ = kInitialThreshold;
    PortableRand random_;
    WorkerPool workerPool_;
    CaptureSource captureSource_;
    MotionDetector motionDetector_;
    Ball ball_;
    ShowMotion showMotion_;
    WaterEffect waterEffect_;
    FireEffect fireEffect_;
    std::array<Effect*, 3> effectTable_;
    Effect* currentEffect_;
    // The ball position seen at the end of the last frame; (0, 0) makes the first frame notify.
    Vec2 previousBallPosition_;
};

}  // namespace tavlomi
