// The toy in a page. The page's script (tavlomi_page.js) asks for the camera first, then creates
// the toy with tavlomi_start() on the camera or, without one, on the built-in test scene, and
// calls tavlomi_frame() from requestAnimationFrame. Nothing here waits: the browser paces the
// frames. Status lines go to standard output, which the page shows beside the picture.

#include <emscripten/emscripten.h>

#include <cstdint>
#include <ctime>
#include <iostream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/clock.hpp"
#include "app/memory_budget.hpp"
#include "app/snapshot.hpp"
#include "app/toy_session.hpp"
#include "camera_frame_source.hpp"
#include "capture/test_scene_source.hpp"
#include "web_display.hpp"

// The page's side (Module.page in tavlomi_page.js). rgba is width * height * 4 bytes.
EM_JS(void, pagePresent, (const std::uint8_t* rgba, int width, int height),
      { Module.page.present(rgba, width, height); });
EM_JS(void, pageToggleFullScreen, (), { Module.page.toggleFullScreen(); });
EM_JS(void, pageSaveSnapshot, (const std::uint8_t* rgba, int width, int height, const char* name),
      { Module.page.saveSnapshot(rgba, width, height, UTF8ToString(name)); });

namespace {

using namespace tavlomi;

// A tab gets far less memory than the 4 GB WebAssembly could address, and what it gets is the
// browser's choice; at this side the toy needs about 210 MB.
constexpr int kMaxPageSide = 2048;
static_assert(toyMemoryBytes(kMaxPageSide, kMaxPageSide) < 256 * 1000 * 1000);

// The screen's words 0x??RRGGBB as the canvas's R, G, B, A bytes, opaque.
void toRgba(std::span<const std::uint32_t> words, std::vector<std::uint8_t>& rgba) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        rgba[4 * i] = static_cast<std::uint8_t>(words[i] >> 16);
        rgba[4 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
        rgba[4 * i + 2] = static_cast<std::uint8_t>(words[i]);
        rgba[4 * i + 3] = 0xFF;
    }
}

std::unique_ptr<FrameSource> makeSource(int width, int height, bool camera) {
    if (camera) return std::make_unique<CameraFrameSource>(width, height);
    return std::make_unique<TestSceneSource>(width, height);
}

class PageToy {
  public:
    PageToy(int width, int height, bool camera)
        : source_(makeSource(width, height, camera)),
          camera_(camera ? static_cast<CameraFrameSource*>(source_.get()) : nullptr),
          rgba_(4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
          display_(width, height,
                   {[this](std::span<const std::uint32_t> screen) { show(screen); },
                    [] { pageToggleFullScreen(); }}),
          session_(clock_),
          loop_(session_.start(display_, *source_, width, height, 0, true)) {
        loop_.setSnapshotHandler([this] { saveSnapshot(); });
    }

    CameraFrameSource* camera() { return camera_; }
    WebDisplay& display() { return display_; }
    bool runFrame() { return loop_.runFrame(); }

  private:
    void show(std::span<const std::uint32_t> screen) {
        toRgba(screen, rgba_);
        pagePresent(rgba_.data(), display_.width(), display_.height());
    }

    // The screen as it is when F12 is handled: the effect and the ball, no overlay.
    void saveSnapshot() {
        toRgba(display_.screenPixels(), rgba_);
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const std::string name = snapshotStem(local) + ".png";
        pageSaveSnapshot(rgba_.data(), display_.width(), display_.height(), name.c_str());
        const std::string notice = "Snapshot saved: " + name;
        std::cerr << "tavlomi: " << notice << "\n";
        session_.overlay().show(notice);
    }

    std::unique_ptr<FrameSource> source_;
    CameraFrameSource* camera_;
    std::vector<std::uint8_t> rgba_;
    WebDisplay display_;
    SteadyClock clock_;
    ToySession session_;
    FrameLoop& loop_;
};

}  // namespace

// The page holds the toy by the pointer tavlomi_start() returns until it hands it back to
// tavlomi_stop(); ownership crosses into JavaScript there and nowhere else.
extern "C" {

EMSCRIPTEN_KEEPALIVE PageToy* tavlomi_start(int width, int height, int camera) {
    if (width < 1 || height < 1 || width > kMaxPageSide || height > kMaxPageSide) return nullptr;
    return std::make_unique<PageToy>(width, height, camera != 0).release();
}

EMSCRIPTEN_KEEPALIVE void tavlomi_stop(PageToy* toy) {
    std::unique_ptr<PageToy> owned(toy);
}

EMSCRIPTEN_KEEPALIVE int tavlomi_max_side() {
    return kMaxPageSide;
}

// Where the page writes camera pictures; nullptr on the test scene.
EMSCRIPTEN_KEEPALIVE std::uint8_t* tavlomi_camera_picture(PageToy* toy) {
    return toy->camera() != nullptr ? toy->camera()->picture().data() : nullptr;
}

EMSCRIPTEN_KEEPALIVE void tavlomi_camera_written(PageToy* toy) {
    if (toy->camera() != nullptr) toy->camera()->pictureWritten();
}

// code is an SDL 1.2 key code; false when the event queue is full.
EMSCRIPTEN_KEEPALIVE int tavlomi_push_key(PageToy* toy, int code) {
    InputEvent event;
    event.type = InputEvent::Type::KeyDown;
    event.key = code;
    return toy->display().pushEvent(event) ? 1 : 0;
}

// kind 0 moves, 1 presses, 2 releases; x and y are grid cells, 0..65535.
EMSCRIPTEN_KEEPALIVE int tavlomi_push_mouse(PageToy* toy, int kind, int x, int y) {
    InputEvent event;
    event.type = kind == 1   ? InputEvent::Type::MouseButtonDown
                 : kind == 2 ? InputEvent::Type::MouseButtonUp
                             : InputEvent::Type::MouseMotion;
    event.x = x;
    event.y = y;
    return toy->display().pushEvent(event) ? 1 : 0;
}

// One frame; 0 when Escape ended the toy (the page then calls tavlomi_stop()).
EMSCRIPTEN_KEEPALIVE int tavlomi_frame(PageToy* toy) {
    return toy->runFrame() ? 1 : 0;
}

}  // extern "C"
