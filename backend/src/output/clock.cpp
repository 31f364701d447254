#include "output/clock.h"

#include <atomic>
#include <chrono>

namespace tsl::output {
namespace {

std::atomic<bool> manual{false};
std::atomic<int64_t> manualNs{0};

} // namespace

int64_t ClockNs() noexcept {
    if (manual.load(std::memory_order_acquire)) return manualNs.load(std::memory_order_acquire);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SetManualClock(int64_t ns) noexcept {
    manualNs.store(ns, std::memory_order_release);
    manual.store(true, std::memory_order_release);
}

void ReleaseManualClock() noexcept { manual.store(false, std::memory_order_release); }

} // namespace tsl::output
