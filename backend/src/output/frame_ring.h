// Single-producer single-consumer ring of interleaved float frames: the
// playback buffer between the thread that renders a stream and the device's
// mixing thread. Preallocated; neither side locks or allocates.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

namespace tsl::output {

class FrameRing {
public:
    FrameRing(uint32_t frames, uint32_t channels)
        : cap_(std::max<uint32_t>(frames, 1)), ch_(channels), data_(new float[size_t(cap_) * channels]()) {}

    uint32_t Capacity() const noexcept { return cap_; }
    uint32_t Channels() const noexcept { return ch_; }
    uint32_t Available() const noexcept {
        return uint32_t(tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire));
    }

    // Producer: frames written in total so far (the render position).
    uint64_t Written() const noexcept { return tail_.load(std::memory_order_relaxed); }

    // Producer. Returns the frames stored (less when the ring is full).
    uint32_t Write(const float* in, uint32_t frames) noexcept {
        const uint64_t t = tail_.load(std::memory_order_relaxed);
        const uint32_t room = cap_ - uint32_t(t - head_.load(std::memory_order_acquire));
        frames = std::min(frames, room);
        const uint32_t at = uint32_t(t % cap_);
        const uint32_t first = std::min(frames, cap_ - at);
        std::memcpy(&data_[size_t(at) * ch_], in, size_t(first) * ch_ * sizeof(float));
        std::memcpy(&data_[0], in + size_t(first) * ch_, size_t(frames - first) * ch_ * sizeof(float));
        tail_.store(t + frames, std::memory_order_release);
        return frames;
    }

    // Consumer. Returns the frames read (less when the ring runs dry).
    uint32_t Read(float* out, uint32_t frames) noexcept {
        const uint64_t h = head_.load(std::memory_order_relaxed);
        frames = std::min(frames, uint32_t(tail_.load(std::memory_order_acquire) - h));
        const uint32_t at = uint32_t(h % cap_);
        const uint32_t first = std::min(frames, cap_ - at);
        std::memcpy(out, &data_[size_t(at) * ch_], size_t(first) * ch_ * sizeof(float));
        std::memcpy(out + size_t(first) * ch_, &data_[0], size_t(frames - first) * ch_ * sizeof(float));
        head_.store(h + frames, std::memory_order_release);
        return frames;
    }

    // Consumer: drops everything written so far; returns how many frames.
    uint32_t Discard() noexcept {
        const uint64_t t = tail_.load(std::memory_order_acquire);
        const uint64_t h = head_.exchange(t, std::memory_order_acq_rel);
        return uint32_t(t - h);
    }

private:
    const uint32_t cap_;
    const uint32_t ch_;
    std::unique_ptr<float[]> data_;
    alignas(64) std::atomic<uint64_t> head_{0};
    alignas(64) std::atomic<uint64_t> tail_{0};
};

} // namespace tsl::output
