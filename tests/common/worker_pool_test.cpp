#include "common/worker_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace tavlomi {
namespace {

TEST(WorkerPool, SplitsRowsIntoConsecutiveBandsAFewPerThreadTheFirstOnesLonger) {
    const struct {
        RowRange rows;
        int threads;
        std::vector<int> bandSizes;
    } cases[] = {
        {{0, 9}, 1, {9}},
        {{0, 10}, 2, {2, 2, 1, 1, 1, 1, 1, 1}},
        {{5, 15}, 2, {2, 2, 1, 1, 1, 1, 1, 1}},
        {{0, 3}, 8, {1, 1, 1}},
        {{3, 3}, 4, {}},
        {{0, 100}, 3, {9, 9, 9, 9, 8, 8, 8, 8, 8, 8, 8, 8}},
    };
    for (const auto& c : cases) {
        const WorkerPool pool(c.threads);
        const int count = pool.bandCount(c.rows);
        ASSERT_EQ(count, static_cast<int>(c.bandSizes.size()))
            << c.rows.begin << ".." << c.rows.end;
        int next = c.rows.begin;
        for (int index = 0; index < count; ++index) {
            const RowRange band = WorkerPool::band(c.rows, index, count);
            EXPECT_EQ(band.begin, next);
            EXPECT_EQ(band.size(), c.bandSizes[static_cast<std::size_t>(index)]);
            next = band.end;
        }
    }
}

TEST(WorkerPool, RunsEveryBandOnceOnAllItsThreadsAtOnce) {
    for (int threads = 1; threads <= 8; ++threads) {
        WorkerPool pool(threads);
        ASSERT_EQ(pool.threadCount(), threads);
        // Each band waits until every thread of the pool holds one: a pool that ran them one
        // after another would never get past the first.
        std::mutex mutex;
        std::condition_variable arrived;
        std::set<std::thread::id> holders;
        pool.forEachBand({0, 8 * threads}, [&](RowBand) {
            std::unique_lock lock(mutex);
            holders.insert(std::this_thread::get_id());
            arrived.notify_all();
            arrived.wait_for(lock, std::chrono::seconds(20),
                             [&] { return static_cast<int>(holders.size()) == threads; });
        });
        EXPECT_EQ(static_cast<int>(holders.size()), threads);
        // Many jobs in a row, so that a thread late for one meets the next.
        for (const int rows : {0, 1, 5, 100}) {
            for (int job = 0; job < 50; ++job) {
                std::vector<std::atomic<int>> runs(static_cast<std::size_t>(rows));
                pool.forEachBand({0, rows}, [&](RowBand band) {
                    for (int row = band.rows.begin; row < band.rows.end; ++row)
                        ++runs[static_cast<std::size_t>(row)];
                });
                for (const std::atomic<int>& count : runs)
                    ASSERT_EQ(count.load(), 1) << threads << " threads, " << rows << " rows";
            }
        }
    }
}

}  // namespace
}  // namespace tavlomi
