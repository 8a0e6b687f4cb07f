#include "common/notice_queue.hpp"

#include <utility>

namespace tavlomi {

void NoticeQueue::post(std::string text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(text));
}

void NoticeQueue::deliver(NoticeSink& sink) {
    std::vector<std::string> due;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        due.swap(pending_);
    }
    for (const std::string& text : due)
        sink.notice(text);
}

}  // namespace tavlomi
