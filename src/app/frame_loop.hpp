#pragma once

// One frame of the toy, in its fixed order: events, capture and motion, ball, effect update,
// compose, pause. The real program and the replay tool both run frames through this. It is also
// the shell that input dispatch drives: the toy's commands go on to the toy, the shell's keys
// (help, full screen, snapshot) stay here.

#include <functional>
#include <string>
#include <utility>

#include "app/input_dispatch.hpp"
#include "app/status_overlay.hpp"
#include "app/toy.hpp"
#include "common/display.hpp"

namespace tavlomi {

class FrameLoop final : private InputTarget {
  public:
    // pauseMilliseconds is the sleep after each frame (10 for the toy, 0 for replays).
    FrameLoop(Display& display, Toy& toy, int pauseMilliseconds);

    // Runs one frame; false when an event ended the program or the display was lost (the frame
    // stops there).
    bool runFrame();
    // True once switching to or from full screen lost the display.
    bool displayLost() const { return displayLost_; }

    // From the next frame on, draws overlay's visible lines and, while F1 has it shown, the
    // help over the picture. nullptr (the default) draws neither, leaving the screen exactly
    // the effect and the ball. overlay must outlive the loop or be replaced.
    void showOverlay(const StatusOverlay* overlay) { overlay_ = overlay; }
    // What F12 does; nothing until one is set. It runs in the frame whose events hold the F12,
    // when the screen holds that frame's effect picture and ball but no overlay yet.
    void setSnapshotHandler(std::function<void()> handler) {
        snapshotHandler_ = std::move(handler);
    }
    // What runs in every frame when the screen holds the effect picture and the ball but no
    // overlay yet (the picture a snapshot takes), after any snapshot; e.g. the virtual camera.
    void setPictureHandler(std::function<void()> handler) { pictureHandler_ = std::move(handler); }
    // Where the virtual camera sends the picture, for the F1 help; empty while it is off.
    void showVirtualCamera(std::string where) { virtualCameraWhere_ = std::move(where); }
    bool helpShown() const { return helpShown_; }

  private:
    bool processEvents();
    void composeFrame();
    void drawOverlay();

    void adjustThreshold(bool up) override { toy_.adjustThreshold(up); }
    void selectEffect(int index) override { toy_.selectEffect(index); }
    void passKey(int key) override { toy_.passKey(key); }
    void placeBall(int x, int y) override { toy_.placeBall(x, y); }
    void toggleHelp() override { helpShown_ = !helpShown_; }
    void toggleFullScreen() override { displayLost_ = !display_.toggleFullScreen(); }
    void snapshot() override { snapshotPending_ = true; }

    Display& display_;
    Toy& toy_;
    InputDispatch inputDispatch_;
    int pauseMilliseconds_;
    const StatusOverlay* overlay_ = nullptr;
    std::function<void()> snapshotHandler_;
    std::function<void()> pictureHandler_;
    std::string virtualCameraWhere_;
    bool helpShown_ = false;
    bool snapshotPending_ = false;
    bool displayLost_ = false;
};

}  // namespace tavlomi
