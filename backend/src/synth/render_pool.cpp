#include "synth/render_pool.h"

#include <algorithm>
#include <thread>

#if defined(__SSE2__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define TSL_POOL_MXCSR 1
#endif

namespace tsl {
namespace {

// About 50-100 microseconds of pause instructions: longer than the gap
// between two blocks of a file render, far shorter than a real-time period.
constexpr uint32_t kHelperSpin = 4000;
// How long the owner spins for a helper's task before yielding its time
// slice to it (a helper preempted mid-task on a busy machine).
constexpr uint32_t kOwnerSpin = 20000;

inline uint32_t ReadFloatMode() noexcept {
#ifdef TSL_POOL_MXCSR
    return _mm_getcsr();
#else
    return 0;
#endif
}

inline void SetFloatMode(uint32_t mode) noexcept {
#ifdef TSL_POOL_MXCSR
    _mm_setcsr(mode);
#else
    (void)mode;
#endif
}

} // namespace

void RenderPool::Pause() noexcept {
#ifdef TSL_POOL_MXCSR
    _mm_pause();
#endif
}

RenderPool& RenderPool::Instance() noexcept {
    // Never destroyed: helpers may still be parked when the process exits,
    // and joining threads from static destructors can deadlock on Windows.
    static RenderPool* pool = new RenderPool;
    return *pool;
}

uint32_t RenderPool::AutomaticThreads() noexcept {
    uint32_t n = std::thread::hardware_concurrency();
    return std::clamp<uint32_t>(n, 1, kMaxThreads);
}

uint32_t RenderPool::Reserve(uint32_t threads) noexcept {
    const uint32_t want = std::clamp<uint32_t>(threads, 1, kMaxThreads) - 1;
    std::lock_guard<std::mutex> lock(reserveLock_);
    uint32_t have = started_.load(std::memory_order_relaxed);
    while (have < want) {
        try {
            std::thread([this] { HelperMain(); }).detach();
        } catch (...) {
            break; // out of threads: jobs use the helpers there are
        }
        started_.store(++have, std::memory_order_release);
    }
    return have + 1;
}

void RenderPool::Work(uint32_t worker) noexcept {
    const uint32_t count = job_.count;
    for (;;) {
        uint32_t i = next_.fetch_add(1, std::memory_order_relaxed);
        if (i >= count) break;
        job_.fn(job_.ctx, i, worker);
        done_.fetch_add(1, std::memory_order_release);
    }
}

void RenderPool::HelperMain() noexcept {
    uint32_t seen = 0;
    for (;;) {
        uint32_t s = seq_.load(std::memory_order_seq_cst);
        if ((s & 1) == 0 || s == seen) {
            uint32_t spin = 0;
            while (spin < kHelperSpin && seq_.load(std::memory_order_relaxed) == s) {
                Pause();
                ++spin;
            }
            if (spin == kHelperSpin) {
                sleepers_.fetch_add(1, std::memory_order_seq_cst);
                seq_.wait(s, std::memory_order_seq_cst);
                sleepers_.fetch_sub(1, std::memory_order_relaxed);
            }
            continue;
        }
        seen = s;
        inside_.fetch_add(1, std::memory_order_seq_cst);
        // The job may have closed between reading seq_ and entering: then
        // its slots may already belong to the next job.
        if (seq_.load(std::memory_order_seq_cst) == s) {
            const uint32_t joined = joined_.fetch_add(1, std::memory_order_relaxed);
            if (joined < job_.helpers) {
                const uint32_t saved = ReadFloatMode();
                SetFloatMode(job_.mxcsr);
                Work(joined + 1);
                SetFloatMode(saved);
            }
        }
        inside_.fetch_sub(1, std::memory_order_release);
    }
}

void RenderPool::Open(TaskFn fn, void* ctx, uint32_t count, uint32_t helpers) noexcept {
    job_ = Job{fn, ctx, count, helpers, ReadFloatMode()};
    next_.store(0, std::memory_order_relaxed);
    done_.store(0, std::memory_order_relaxed);
    joined_.store(0, std::memory_order_relaxed);
    openSeq_ = seq_.load(std::memory_order_relaxed) + 1;
    seq_.store(openSeq_, std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_seq_cst) > 0) seq_.notify_all();
}

void RenderPool::Close() noexcept {
    for (uint32_t spin = 0; done_.load(std::memory_order_acquire) < job_.count; ++spin) {
        if (spin < kOwnerSpin) Pause();
        else std::this_thread::yield();
    }
    seq_.store(openSeq_ + 1, std::memory_order_seq_cst);
    for (uint32_t spin = 0; inside_.load(std::memory_order_seq_cst) != 0; ++spin) {
        if (spin < kOwnerSpin) Pause();
        else std::this_thread::yield();
    }
    busy_.store(false, std::memory_order_release);
}

void RenderPool::Run(TaskFn fn, void* ctx, uint32_t count, uint32_t helpers) noexcept {
    helpers = std::min(helpers, started_.load(std::memory_order_acquire));
    if (count > 1 && helpers > 0 && !busy_.exchange(true, std::memory_order_acquire)) {
        Open(fn, ctx, count, helpers);
        Work(0);
        Close();
        return;
    }
    for (uint32_t i = 0; i < count; ++i) fn(ctx, i, 0);
}

bool RenderPool::Post(TaskFn fn, void* ctx) noexcept {
    if (started_.load(std::memory_order_acquire) == 0 || busy_.exchange(true, std::memory_order_acquire)) return false;
    Open(fn, ctx, 1, 1);
    return true;
}

void RenderPool::Finish() noexcept {
    Work(0);
    Close();
}

} // namespace tsl
