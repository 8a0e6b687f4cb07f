#pragma once

// Notices raised on any thread, handed to a NoticeSink on the thread that delivers them. An
// edge's worker posts, the frame loop's thread delivers, so the sink (the overlay) needs no lock.

#include <mutex>
#include <string>
#include <vector>

#include "common/notice_sink.hpp"

namespace tavlomi {

class NoticeQueue {
  public:
    // Any thread.
    void post(std::string text);

    // Hands every notice posted so far to sink, oldest first, on the calling thread; posting
    // never waits for the sink.
    void deliver(NoticeSink& sink);

  private:
    std::mutex mutex_;
    std::vector<std::string> pending_;
};

}  // namespace tavlomi
