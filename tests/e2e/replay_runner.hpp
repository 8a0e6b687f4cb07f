#pragma once

// Runs the real tavlomi-replay binary on a clip and an event script made by a test, and reads
// back its exit status, standard output and screens.

#include <cstdint>
#include <string>
#include <vector>

namespace tavlomi::e2e {

// A picture as the camera sees it: top row first, left to right, 0x00RRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// What the toy prints at start-up, before any key.
inline const std::string kStartupLines =
    "< ShowMotion responding to Ball >\n< Water Effect initialized >\n"
    "< Fire Effect innitialized >\n";

// The colour (0x00RRGGBB) of pixel (x, y) of a replay screen of the given width.
inline std::uint32_t shownAt(const std::vector<std::uint32_t>& screen, int width, int x, int y) {
    return screen[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
}

// A dark texture: every channel at most 15, so no cell's luminance exceeds 14 and swapping one
// such picture for another never counts as motion at the initial threshold.
Picture darkTexture(int width, int height, int seed);

// The picture as the toy's grids hold it (mirrored left to right) turned back into the camera's
// view, or the other way round.
Picture mirrored(const Picture& picture);

// Finds the centre of the ball's magenta cross on a screen (the middle of its 3-pixel bars);
// false when there is no cross.
bool findCross(const std::vector<std::uint32_t>& screen, int width, int height, int& x, int& y);

struct ReplayResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
    // One per composed frame, each width * height words, top row first.
    std::vector<std::vector<std::uint32_t>> screens;
};

class ReplayRunner {
  public:
    ReplayRunner();
    ~ReplayRunner();

    // Appends one camera frame, converting it into the raw clip format (B G R, bottom row first).
    void addFrame(const Picture& picture);
    void setEvents(const std::string& script) { events_ = script; }
    // Runs width x height for frames frames; extraArgs replace the usual arguments when given.
    ReplayResult run(int width, int height, long long frames,
                     const std::vector<std::string>& extraArgs = {});
    const std::string& directory() const { return directory_; }

  private:
    std::string directory_;
    std::vector<std::uint8_t> clip_;
    std::string events_;
};

// Runs a command line through the shell, capturing stdout and stderr.
ReplayResult runCommand(const std::string& command, const std::string& directory);

}  // namespace tavlomi::e2e
