#pragma once

// The newest screen on its way from the frame loop to an output that runs on a thread of its own
// (the virtual camera). The loop never waits for the output: handing a screen over is a swap
// under a lock that the output holds only for a swap too.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tavlomi {

class NewestScreen {
  public:
    // Screens of words pixel words each.
    explicit NewestScreen(std::size_t words);

    // Frame loop: takes screen (words words) by swapping, and leaves in it a buffer of the same
    // size to be overwritten. A screen not yet taken is replaced; false when screen has the wrong
    // size, and then nothing changes.
    bool put(std::vector<std::uint32_t>& screen);

    // Output thread: swaps the newest screen into screen (words words) when one was put since
    // the last take; false, with screen left alone, otherwise.
    bool take(std::vector<std::uint32_t>& screen);

  private:
    std::size_t words_;
    std::mutex mutex_;
    std::vector<std::uint32_t> waiting_;
    bool fresh_ = false;
};

}  // namespace tavlomi
