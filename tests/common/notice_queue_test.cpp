#include "common/notice_queue.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/recording_notices.hpp"

namespace tavlomi {
namespace {

TEST(NoticeQueue, NoticesFromAWorkerArriveOnTheDeliveringThreadInOrderAndOnce) {
    constexpr int kPosts = 20000;
    NoticeQueue queue;
    RecordingNotices sink;
    queue.post("first");
    queue.deliver(sink);
    std::atomic<bool> done = false;
    std::thread worker([&] {
        for (int i = 0; i < kPosts; ++i)
            queue.post(std::to_string(i));
        done = true;
    });
    // Deliveries race the posts until the worker is done, then one more collects the rest.
    while (!done)
        queue.deliver(sink);
    worker.join();
    queue.deliver(sink);
    queue.deliver(sink);
    ASSERT_EQ(sink.texts.size(), kPosts + 1u);
    EXPECT_EQ(sink.texts[0], "first");
    for (int i = 0; i < kPosts; ++i)
        ASSERT_EQ(sink.texts[i + 1u], std::to_string(i));
    EXPECT_TRUE(sink.allOnThisThread());
}

}  // namespace
}  // namespace tavlomi
