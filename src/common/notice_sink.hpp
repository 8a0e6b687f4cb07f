#pragma once

// Where the edges' notices for the person at the screen go: a camera lost or back, a video
// source that stopped. They are not status lines and never reach standard output; the shell
// decides where they are shown. One sentence per call, without a newline.

#include <string_view>

namespace tavlomi {

class NoticeSink {
  public:
    virtual void notice(std::string_view text) = 0;

  protected:
    ~NoticeSink() = default;
};

}  // namespace tavlomi
