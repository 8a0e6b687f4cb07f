#pragma once

// The threads the per-frame grid loops share. A loop hands the pool the rows (or cells) it
// covers; the pool splits them into bands of consecutive rows, a few per thread, runs the bands
// at once and returns when all are done, so that the next step sees every row finished. Threads
// take bands as they come free, the calling thread among them: a thread that the system keeps
// waiting holds up at most the one band it took. A pool of one thread starts no thread and runs
// every loop whole on the caller: a build without threads (the browser's) runs that way.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "common/row_range.hpp"

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
#define TAVLOMI_THREADS 0
#else
#define TAVLOMI_THREADS 1
#endif

namespace tavlomi {

// One band of a split: its index among the bands, in row order, and its rows.
struct RowBand {
    int index = 0;
    RowRange rows;
};

class WorkerPool {
  public:
    // The most threads a pool runs, counting the caller's; 1 where the build has no threads.
    static constexpr int kMaxThreads = TAVLOMI_THREADS ? 64 : 1;
    // Bands per thread: enough that a late thread leaves little for the others to wait on.
    static constexpr int kBandsPerThread = 4;
    static constexpr int kMaxBands = kMaxThreads * kBandsPerThread;

    // threadCount 1..kMaxThreads, counting the calling thread. Where the system refuses a thread,
    // the pool runs on those it started: results never depend on the thread count.
    explicit WorkerPool(int threadCount);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int threadCount() const { return static_cast<int>(workers_.size()) + 1; }

    // How many bands forEachBand makes of rows, 0..kMaxBands: one for a pool of one thread,
    // kBandsPerThread per thread otherwise, but never an empty one.
    int bandCount(RowRange rows) const;
    // Band index of count over rows: consecutive, the first rows.size() % count bands one row
    // longer than the others.
    static RowRange band(RowRange rows, int index, int count);

    // Runs task(RowBand) once for each band of rows, on the pool's threads at once, and returns
    // when all are done. The task must not throw nor use the pool.
    template <typename Task>
    void forEachBand(RowRange rows, const Task& task) {
        const int count = bandCount(rows);
        if (count <= 1) {
            if (count == 1) task(RowBand{0, rows});
            return;
        }
        runBands(rows, count, &callTask<Task>, &task);
    }

    // For loops in which every cell stands alone: runs task(first, count) for runs of cells that
    // together cover cells 0..cellCount - 1, one run per band.
    template <typename Task>
    void forEachCellRun(int cellCount, const Task& task) {
        forEachBand(RowRange{0, cellCount}, [&task](RowBand band) {
            task(static_cast<std::size_t>(band.rows.begin),
                 static_cast<std::size_t>(band.rows.size()));
        });
    }

  private:
    using Call = void (*)(const void* task, RowBand band);

    template <typename Task>
    static void callTask(const void* task, RowBand band) {
        (*static_cast<const Task*>(task))(band);
    }

    struct Job {
        std::uint64_t number = 0;
        Call call = nullptr;
        const void* task = nullptr;
        RowRange rows;
        int count = 0;
    };

    void runBands(RowRange rows, int count, Call call, const void* task);
    // Takes bands of job until none is left.
    void takeBands(const Job& job);
    void work();

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    // The newest job; guarded by mutex_.
    Job job_;
    bool stopping_ = false;
    // The job's number (its low 48 bits) above the index of the next band to take (16 bits): a
    // thread takes a band only of the job it read, and only while one is left.
    std::atomic<std::uint64_t> nextBand_{0};
    // Bands of the job finished so far.
    std::atomic<int> finishedBands_{0};
};

// The pool size the toy uses unless told otherwise: one thread per processor core.
int defaultThreadCount();

}  // namespace tavlomi
