// A playable stream's output side: its playback buffer, its play/stop state,
// its output level and the clock that places asynchronous events.
//
// Threads: the renderer (BASS_ChannelUpdate caller or the device's update
// thread) fills the buffer through FillAhead, one at a time (a second caller
// returns at once); the device's mixing thread consumes it in MixInto; control
// calls come from anywhere. The state belongs to its channel (Channel::playback)
// and leaves the device's mix when destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/channel.h"
#include "output/frame_clock.h"
#include "output/frame_ring.h"

namespace tsl {

namespace output {
class Device;
}

// In namespace tsl: Channel::playback names it there.
class PlaybackState {
public:
    using Device = output::Device;
    PlaybackState(std::shared_ptr<Device> device, const SampleFormat& format, uint32_t bufferMs);
    ~PlaybackState();
    PlaybackState(const PlaybackState&) = delete;
    PlaybackState& operator=(const PlaybackState&) = delete;

    Device& Owner() const noexcept { return *device_; }

    void Play(bool restart) noexcept;
    void Stop() noexcept;
    uint32_t Activity() const noexcept; // BASS_ACTIVE_*
    uint32_t Level() const noexcept;    // left | right << 16, 0..32768, last ~20 ms

    // Renders until the buffer holds `ms` milliseconds (at most its length).
    // Returns false when another thread is filling at this moment.
    bool FillAhead(Channel& channel, uint32_t ms) noexcept;

    // Mixing thread: adds up to `frames` stereo frames of this stream to `out`.
    void MixInto(float* out, uint32_t frames) noexcept;

    // Where an event sent now should take effect, in frames of the stream's
    // render position, so that every event reaches the output one constant
    // latency after it was sent. UINT64_MAX while the stream does not play.
    uint64_t AsyncEventFrame() const noexcept;
    uint64_t RenderedFrames() const noexcept { return ring_.Written(); }
    // Frames the device mixed while this stream played but had nothing
    // ready: each one delays everything the stream plays afterwards.
    uint64_t StarvedFrames() const noexcept { return starved_.load(std::memory_order_relaxed); }

private:
    void PublishLevel(float l, float r, uint32_t frames) noexcept;

    const std::shared_ptr<Device> device_;
    const SampleFormat format_;
    output::FrameRing ring_;
    std::unique_ptr<float[]> renderScratch_; // filler side
    std::unique_ptr<float[]> mixScratch_;    // mixing side

    std::atomic<bool> playing_{false};
    std::atomic<bool> flush_{false};
    std::atomic<bool> ended_{false};        // the channel produced its last frame
    std::atomic_flag filling_ = ATOMIC_FLAG_INIT;

    // Levels: peak of the window being measured and of the last full one.
    float peakL_ = 0, peakR_ = 0;
    uint32_t windowFill_ = 0;
    std::atomic<uint32_t> lastLevel_{0};
    std::atomic<uint32_t> liveLevel_{0};

    // Clock for asynchronous events: the stream frame that reached the mix and
    // the steady-clock time of that mix, published together (sequence lock).
    output::FrameClock clock_;
    uint64_t consumedLocal_ = 0;             // mixing side
    std::atomic<uint64_t> starved_{0};      // written by the mixing side
    std::atomic<uint32_t> aheadFrames_{0};   // the fill target of the latest FillAhead
};

} // namespace tsl
