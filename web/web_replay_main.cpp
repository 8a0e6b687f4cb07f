// tavlomi-replay for Node: the desktop replay tool with the page's display in place of SDL's, so
// that the browser build's toy can be compared with the desktop's screen for screen.

#include <memory>
#include <string>
#include <vector>

#include "app/replay_tool.hpp"
#include "web_display.hpp"

namespace {

using namespace tavlomi;

// The page's display with no page: nothing is shown, everything is drawn.
class WebReplayDisplay final : public ReplayDisplay {
  public:
    WebReplayDisplay(int width, int height) : display_(width, height, {}) {}

    Display& display() override { return display_; }
    bool pushEvent(const InputEvent& event) override { return display_.pushEvent(event); }
    void copyScreen(std::vector<std::uint32_t>& words) override {
        words.assign(display_.screenPixels().begin(), display_.screenPixels().end());
    }

  private:
    WebDisplay display_;
};

std::unique_ptr<ReplayDisplay> openMemoryDisplay(int width, int height, std::string&) {
    return std::make_unique<WebReplayDisplay>(width, height);
}

}  // namespace

int main(int argc, char** argv) {
    return runReplayTool(argc, argv, openMemoryDisplay);
}
