// tavlomi-replay: runs the toy's real start-up and frame loop on a recorded clip, with scripted
// events, for a fixed number of frames, optionally saving every screen. The whole program is
// tested end to end through it, on the real display code.

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/replay_tool.hpp"
#include "sdl/sdl_display.hpp"

namespace {

using namespace tavlomi;

class SdlReplayDisplay final : public ReplayDisplay {
  public:
    explicit SdlReplayDisplay(std::unique_ptr<SdlDisplay> display) : display_(std::move(display)) {}

    Display& display() override { return *display_; }
    bool pushEvent(const InputEvent& event) override { return SdlDisplay::pushEvent(event); }
    void copyScreen(std::vector<std::uint32_t>& words) override { display_->copyScreen(words); }

  private:
    std::unique_ptr<SdlDisplay> display_;
};

// SDL's dummy driver: nothing is shown, everything is drawn.
std::unique_ptr<ReplayDisplay> openDummyDisplay(int width, int height, std::string& error) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::unique_ptr<SdlDisplay> display = SdlDisplay::open(width, height, false, 1, error);
    if (!display) return nullptr;
    return std::make_unique<SdlReplayDisplay>(std::move(display));
}

}  // namespace

int main(int argc, char** argv) {
    return runReplayTool(argc, argv, openDummyDisplay);
}
