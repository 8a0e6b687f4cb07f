#pragma once

// A display in memory: events come from queue, the effect surface is kept, and every call is
// named in calls, in order ("clear", "lock", "unlock", "blit", "ball" for a magenta fill, "fill"
// for another, "shade", "text <text>", "present", "pause <ms>", "toggle full screen").

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "common/display.hpp"

namespace tavlomi {

inline InputEvent keyDown(int code) {
    return {InputEvent::Type::KeyDown, code, 0, 0};
}

class FakeDisplay final : public Display, private Screen, private TextCanvas {
  public:
    FakeDisplay(int width, int height)
        : surface(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xDEADBEEF) {}

    bool pollEvent(InputEvent& event) override {
        if (queue.empty()) return false;
        event = queue.front();
        queue.pop_front();
        return true;
    }
    void clearScreen() override { calls.push_back("clear"); }
    std::span<std::uint32_t> lockEffectSurface() override {
        calls.push_back("lock");
        return surface;
    }
    void unlockEffectSurface() override { calls.push_back("unlock"); }
    void blitEffectSurface(WorkerPool&) override { calls.push_back("blit"); }
    Screen& screen() override { return *this; }
    TextCanvas& textCanvas() override { return *this; }
    void present() override { calls.push_back("present"); }
    void pause(int milliseconds) override {
        calls.push_back("pause " + std::to_string(milliseconds));
    }
    bool toggleFullScreen() override {
        calls.push_back("toggle full screen");
        return !lostOnToggle;
    }

    std::deque<InputEvent> queue;
    std::vector<std::string> calls;
    std::vector<std::uint32_t> surface;
    // Makes the next switch to or from full screen lose the display.
    bool lostOnToggle = false;

  private:
    void fillRect(ScreenRect, std::uint32_t color) override {
        calls.push_back(color == 0xFFFF00FF ? "ball" : "fill");
    }
    void shade(ScreenRect) override { calls.push_back("shade"); }
    void drawText(int, int, std::string_view text) override {
        calls.push_back("text " + std::string(text));
    }
};

}  // namespace tavlomi
