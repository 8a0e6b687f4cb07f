#pragma once

// A NoticeSink that keeps every notice with the thread that delivered it. Not locked: a sink is
// only ever called on one thread, and the recorded thread ids show which.

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/notice_sink.hpp"

namespace tavlomi {

class RecordingNotices final : public NoticeSink {
  public:
    void notice(std::string_view text) override {
        texts.emplace_back(text);
        threads.push_back(std::this_thread::get_id());
    }

    // True when every notice came on the calling thread.
    bool allOnThisThread() const {
        for (const std::thread::id id : threads) {
            if (id != std::this_thread::get_id()) return false;
        }
        return true;
    }

    std::vector<std::string> texts;
    std::vector<std::thread::id> threads;
};

}  // namespace tavlomi
