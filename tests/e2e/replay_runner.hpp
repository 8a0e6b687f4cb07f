#pragma once

// Runs the real binaries with their output captured: tavlomi-replay on a clip and an event script
// that a test makes, reading back its screens.

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support/scratch_folder.hpp"

namespace tavlomi::e2e {

// A picture as the camera sees it: 0x00RRGGBB words, top row first.
using Picture = std::vector<std::uint32_t>;

struct RunResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
    // One per composed frame, the unused top byte cleared.
    std::vector<Picture> screens;
};

// Runs a shell command line, capturing standard output and error.
inline RunResult runCommand(const std::string& command) {
    const ScratchFolder folder;
    const std::filesystem::path out = folder.path() / "stdout";
    const std::filesystem::path err = folder.path() / "stderr";
    const int status =
        std::system((command + " >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err), {}};
}

class ReplayRunner {
  public:
    ReplayRunner(int width, int height) : width_(width), height_(height) {}

    // Appends one camera frame to the clip (B G R, bottom row first).
    void addFrame(const Picture& picture) {
        for (int row = height_ - 1; row >= 0; --row) {
            for (int x = 0; x < width_; ++x) {
                const std::uint32_t p = picture[static_cast<std::size_t>(row) * width_ + x];
                clip_ += {char(p), char(p >> 8), char(p >> 16)};
            }
        }
    }

    // Writes the clip and the events, then runs --size W H --frames N --input CLIP --events
    // EVENTS --screens FILE and the extra arguments.
    RunResult run(long long frames, const std::string& events, const std::string& extra = "") {
        std::ofstream(folder_.path() / "clip.raw", std::ios::binary) << clip_;
        std::ofstream(folder_.path() / "events.txt", std::ios::binary) << events;
        std::filesystem::remove(folder_.path() / "screens.raw");
        RunResult result =
            runCommand("'" TAVLOMI_REPLAY_PATH "' --size " + std::to_string(width_) + " " +
                       std::to_string(height_) + " --frames " + std::to_string(frames) +
                       " --input " + quoted("clip.raw") + " --events " + quoted("events.txt") +
                       " --screens " + quoted("screens.raw") + " " + extra);
        const std::string bytes = readFile(folder_.path() / "screens.raw");
        const std::size_t words = static_cast<std::size_t>(width_) * height_;
        for (std::size_t at = 0; at + 4 * words <= bytes.size(); at += 4 * words) {
            Picture& screen = result.screens.emplace_back(words);
            std::memcpy(screen.data(), bytes.data() + at, 4 * words);
            for (std::uint32_t& word : screen)
                word &= 0xFFFFFF;
        }
        return result;
    }

    // A file in the runner's scratch folder, quoted for the shell.
    std::string quoted(const char* name) const {
        return "'" + (folder_.path() / name).string() + "'";
    }
    const std::filesystem::path& folder() const { return folder_.path(); }

  private:
    int width_;
    int height_;
    ScratchFolder folder_;
    std::string clip_;
};

}  // namespace tavlomi::e2e
