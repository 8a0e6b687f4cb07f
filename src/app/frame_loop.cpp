#include "app/frame_loop.hpp"

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
        if (inputDispatch_.handle(event, toy_) == InputDispatch::Outcome::Quit) return false;
    }
    return true;
}

void FrameLoop::composeFrame() {
    display_.clearScreen();
    toy_.renderEffect(display_.lockEffectSurface());
    display_.unlockEffectSurface();
    display_.blitEffectSurface();
    toy_.drawBall(display_.screen());
    display_.present();
}

}  // namespace tavlomi
