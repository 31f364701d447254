// The helper threads that render the voices of a dense stream in parallel.
//
// One pool serves the whole process. A stream's render thread hands it one
// block's worth of tasks at a time (Run), takes part itself, and returns
// when every task is done; or it hands over a single task and goes on with
// its own work (Post), collecting the task later (Finish). The pool holds
// one job at a time: a render thread that finds it taken by another stream
// runs its tasks alone, so streams never wait for each other and never
// oversubscribe the cores. Who runs a task never changes what it computes,
// so the output is the same whichever threads took part.
//
// Hand-off cost model: opening a job is a few atomic stores; helpers that
// went to sleep are woken with one futex-like notify (a system call, made
// only when some helper sleeps). Helpers spin for about a tenth of a
// millisecond after a job before sleeping, so back-to-back blocks (file
// rendering) find them awake. A task should be worth well over the few
// microseconds a wake-up costs: the synthesizer hands out chunks of about
// 80 voices or more (tens of microseconds each) and keeps a stream with
// fewer than 512 voices on its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tsl {

class RenderPool {
public:
    // Runs task `index` of a job; must not throw. `worker` tells the
    // participants of a job apart: 0 for the thread that handed the job
    // over, 1 .. helpers for the helpers that joined it; no two tasks run at
    // once with the same worker, so a task may use scratch space of its
    // worker's (the same few buffers stay in each core's caches).
    using TaskFn = void (*)(void* ctx, uint32_t index, uint32_t worker) noexcept;
    // Most threads a job may use, the caller included.
    static constexpr uint32_t kMaxThreads = 64;

    static RenderPool& Instance() noexcept;

    // Starts helpers so that jobs can use up to `threads` threads (caller
    // included). Allocates and creates threads: never on a render thread.
    // Returns the number of threads a job can now use.
    uint32_t Reserve(uint32_t threads) noexcept;
    uint32_t Helpers() const noexcept { return started_.load(std::memory_order_acquire); }

    // Runs fn(ctx, i) for every i < count, on this thread and on up to
    // `helpers` helpers, and returns when all have run. No allocation, lock
    // or system call beyond waking sleeping helpers (and yielding while a
    // preempted helper finishes its task).
    void Run(TaskFn fn, void* ctx, uint32_t count, uint32_t helpers) noexcept;

    // Hands fn(ctx, 0) to a helper and returns at once: true when the pool
    // took it (it has a helper and was not running another job), false when
    // the caller must run the task itself. Until the Finish that must follow
    // on the same thread, the pool holds this job: jobs run meanwhile (this
    // thread's or other streams') find the pool taken and run alone, and
    // this thread may not Post again.
    bool Post(TaskFn fn, void* ctx) noexcept;
    // Returns once the posted task has run: runs it here if no helper has
    // started it yet, else waits for the helper to finish it.
    void Finish() noexcept;

    // One step of a spin-wait (a pause instruction where there is one).
    static void Pause() noexcept;

    // The number of threads `automatic` (0) stands for: the processor count.
    static uint32_t AutomaticThreads() noexcept;

private:
    RenderPool() = default;
    void HelperMain() noexcept;
    // Takes and runs tasks of the open job until none is left.
    void Work(uint32_t worker) noexcept;
    // Opens a job for the helpers (the pool must have been taken through
    // busy_); Close waits until every task has run and no helper is inside,
    // and frees the pool.
    void Open(TaskFn fn, void* ctx, uint32_t count, uint32_t helpers) noexcept;
    void Close() noexcept;

    struct Job {
        TaskFn fn = nullptr;
        void* ctx = nullptr;
        uint32_t count = 0;
        uint32_t helpers = 0;
        uint32_t mxcsr = 0; // the owner's floating-point mode, which the helpers copy
    };

    // Odd while a job is open. Helpers enter a job by raising `inside_` and
    // then checking that `seq_` still names it; the owner closes the job and
    // waits for `inside_` to fall to zero before the job's slots are reused.
    alignas(64) std::atomic<uint32_t> seq_{0};
    alignas(64) std::atomic<uint32_t> next_{0};
    alignas(64) std::atomic<uint32_t> done_{0};
    alignas(64) std::atomic<uint32_t> inside_{0};
    std::atomic<uint32_t> joined_{0};
    alignas(64) std::atomic<bool> busy_{false};
    std::atomic<uint32_t> sleepers_{0};
    std::atomic<uint32_t> started_{0};
    Job job_; // written by the owner before it opens the job, read by helpers inside it
    uint32_t openSeq_ = 0; // the open job's seq_ (owner only)
    std::mutex reserveLock_; // Reserve only
};

} // namespace tsl
