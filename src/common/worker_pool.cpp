#include "common/worker_pool.hpp"

#include <algorithm>
#include <system_error>

namespace tavlomi {

namespace {

constexpr int kIndexBits = 16;
constexpr std::uint64_t kIndexMask = (std::uint64_t{1} << kIndexBits) - 1;
static_assert(WorkerPool::kMaxBands <= kIndexMask);

constexpr std::uint64_t firstBandOf(std::uint64_t jobNumber) {
    return jobNumber << kIndexBits;
}

}  // namespace

WorkerPool::WorkerPool(int threadCount) {
    const int workers = std::clamp(threadCount, 1, kMaxThreads) - 1;
    workers_.reserve(static_cast<std::size_t>(workers));
#if TAVLOMI_THREADS
    for (int started = 0; started < workers; ++started) {
        try {
            workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break;
        }
    }
#endif
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

int WorkerPool::bandCount(RowRange rows) const {
    const int threads = threadCount();
    return std::min(threads == 1 ? 1 : threads * kBandsPerThread, rows.size());
}

RowRange WorkerPool::band(RowRange rows, int index, int count) {
    const int base = rows.size() / count;
    const int longer = rows.size() % count;
    const int begin = rows.begin + index * base + std::min(index, longer);
    return {begin, begin + base + (index < longer ? 1 : 0)};
}

void WorkerPool::runBands(RowRange rows, int count, Call call, const void* task) {
    Job job;
    {
        const std::lock_guard lock(mutex_);
        job = {job_.number + 1, call, task, rows, count};
        job_ = job;
        finishedBands_.store(0, std::memory_order_relaxed);
        nextBand_.store(firstBandOf(job.number), std::memory_order_release);
    }
    wake_.notify_all();
    takeBands(job);
    if (finishedBands_.load(std::memory_order_acquire) == count) return;
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return finishedBands_.load(std::memory_order_acquire) == count; });
}

void WorkerPool::takeBands(const Job& job) {
    const std::uint64_t first = firstBandOf(job.number);
    std::uint64_t next = nextBand_.load(std::memory_order_acquire);
    for (;;) {
        if ((next & ~kIndexMask) != (first & ~kIndexMask) ||
            (next & kIndexMask) >= static_cast<std::uint64_t>(job.count)) {
            return;
        }
        if (!nextBand_.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel)) continue;
        const int index = static_cast<int>(next & kIndexMask);
        job.call(job.task, RowBand{index, band(job.rows, index, job.count)});
        if (finishedBands_.fetch_add(1, std::memory_order_acq_rel) + 1 == job.count) {
            // Under the lock, so that the caller cannot miss it between its test and its wait.
            const std::lock_guard lock(mutex_);
            done_.notify_one();
        }
        next = nextBand_.load(std::memory_order_acquire);
    }
}

void WorkerPool::work() {
    std::uint64_t seen = 0;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || job_.number != seen; });
            if (stopping_) return;
            job = job_;
        }
        seen = job.number;
        takeBands(job);
    }
}

int defaultThreadCount() {
    const auto cores = static_cast<int>(std::min(std::thread::hardware_concurrency(), 1024u));
    return std::clamp(cores, 1, WorkerPool::kMaxThreads);
}

}  // namespace tavlomi
