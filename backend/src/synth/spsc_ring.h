// A tiny single-producer single-consumer ring of trivially copyable items,
// used for pointer hand-overs between a control thread and the render thread.
// Which thread produces and which consumes is stated where a ring is declared.
#pragma once

#include <atomic>
#include <cstdint>

namespace tsl {

template <class T, uint32_t N>
class SpscRing {
    static_assert((N & (N - 1)) == 0, "capacity must be a power of two");

public:
    bool Push(const T& v) noexcept {
        uint32_t t = tail_.load(std::memory_order_relaxed);
        if (t - head_.load(std::memory_order_acquire) >= N) return false;
        items_[t & (N - 1)] = v;
        tail_.store(t + 1, std::memory_order_release);
        return true;
    }
    bool Pop(T& v) noexcept {
        uint32_t h = head_.load(std::memory_order_relaxed);
        if (h == tail_.load(std::memory_order_acquire)) return false;
        v = items_[h & (N - 1)];
        head_.store(h + 1, std::memory_order_release);
        return true;
    }
    bool Empty() const noexcept {
        return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
    }

private:
    T items_[N] = {};
    alignas(64) std::atomic<uint32_t> head_{0};
    alignas(64) std::atomic<uint32_t> tail_{0};
};

} // namespace tsl
