#include "app/frame_loop.hpp"

#include <string>
#include <vector>

#include "app/help_text.hpp"
#include "app/overlay_painter.hpp"

namespace tavlomi {

FrameLoop::FrameLoop(Display& display, Toy& toy, int pauseMilliseconds)
    : display_(display), toy_(toy), pauseMilliseconds_(pauseMilliseconds) {}

bool FrameLoop::runFrame() {
    if (!processEvents()) return false;
    toy_.detectMotion();
    toy_.stepBall();
    toy_.updateEffect();
    composeFrame();
    if (pauseMilliseconds_ > 0) display_.pause(pauseMilliseconds_);
    return true;
}

bool FrameLoop::processEvents() {
    InputEvent event;
    while (display_.pollEvent(event)) {
        if (inputDispatch_.handle(event, *this) == InputDispatch::Outcome::Quit || displayLost_) {
            return false;
        }
    }
    return true;
}

void FrameLoop::composeFrame() {
    display_.clearScreen();
    toy_.renderEffect(display_.lockEffectSurface());
    display_.unlockEffectSurface();
    display_.blitEffectSurface(toy_.workerPool());
    toy_.drawBall(display_.screen());
    if (snapshotPending_) {
        snapshotPending_ = false;
        if (snapshotHandler_) snapshotHandler_();
    }
    if (pictureHandler_) pictureHandler_();
    if (overlay_ != nullptr) drawOverlay();
    display_.present();
}

void FrameLoop::drawOverlay() {
    TextCanvas& canvas = display_.textCanvas();
    const int width = toy_.gridWidth();
    const int height = toy_.gridHeight();
    if (helpShown_)
        paintHelp(canvas, width, height,
                  helpLines(toy_, overlayColumns(width), virtualCameraWhere_));
    const std::vector<std::string> lines = overlay_->visibleLines();
    paintStatusLines(canvas, width, height, lines);
}

}  // namespace tavlomi
