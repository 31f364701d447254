// A frame count that advances mix by mix, with the output clock at the last
// mix: published by the mixing thread and read without a lock by any other
// (a sequence counter, odd while the pair changes). Between mixes, Now()
// counts on at the frame rate, so a reader gets a clock finer than a period.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "output/clock.h"

namespace tsl::output {

class FrameClock {
public:
    // Mixing thread only: `frames` were reached now.
    void Publish(uint64_t frames) noexcept {
        seq_.fetch_add(1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        frames_.store(frames, std::memory_order_relaxed);
        atNs_.store(ClockNs(), std::memory_order_relaxed);
        seq_.fetch_add(1, std::memory_order_release);
    }

    // The count at the last mix.
    uint64_t Frames() const noexcept { return frames_.load(std::memory_order_acquire); }

    // The count now: at the last mix plus the time since at `rate` frames a
    // second (at most a tenth of a second's worth, should mixing stall).
    uint64_t Now(uint32_t rate) const noexcept {
        uint64_t frames;
        int64_t at;
        for (;;) {
            const uint32_t s = seq_.load(std::memory_order_acquire);
            frames = frames_.load(std::memory_order_relaxed);
            at = atNs_.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (!(s & 1) && seq_.load(std::memory_order_relaxed) == s) break;
        }
        const int64_t since = std::clamp<int64_t>(ClockNs() - at, 0, 100'000'000);
        return frames + uint64_t(since) * rate / 1'000'000'000;
    }

private:
    std::atomic<uint32_t> seq_{0};
    std::atomic<uint64_t> frames_{0};
    std::atomic<int64_t> atNs_{0};
};

} // namespace tsl::output
