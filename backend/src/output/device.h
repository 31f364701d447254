// One initialised output device: its endpoint, the streams it mixes, and,
// when BASS_CONFIG_UPDATEPERIOD is not 0, the thread that keeps their
// playback buffers filled.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "output/audio_endpoint.h"
#include "output/frame_clock.h"

namespace tsl {
class Channel;
class PlaybackState;
}

namespace tsl::output {

class Device final : public RenderSource {
public:
    Device(int number, uint32_t rate, uint32_t flags);
    ~Device() override;

    // Opens the endpoint (none for the no-sound device 0). BASS_OK or an error.
    int Start(const std::string& endpointId, bool followDefault);
    // Stops mixing and updating; streams of the device fall silent.
    void Shutdown();

    int Number() const noexcept { return number_; }
    uint32_t Rate() const noexcept { return rate_; }
    uint32_t InitFlags() const noexcept { return flags_; }
    uint32_t LatencyMs() const noexcept;
    uint32_t MinBufferMs() const noexcept;
    bool CanPlay() const noexcept { return number_ != 0; }

    // Frames the device has played (its clock), and when in the future a
    // frame mixed now will be heard.
    uint64_t FramesMixed() const noexcept { return clock_.Frames(); }

    // The device's clock now, counted like FramesMixed: the frames consumed
    // at the last mix plus the time since, at the device's rate. It runs
    // LatencyMs() ahead of the sound. For measurements.
    uint64_t FramesConsumedNow() const noexcept;

    // Measurements: called on the mixing thread with every period the device
    // mixed (interleaved stereo, `first` its FramesMixed position), until
    // set to null. Must not block.
    using Tap = void (*)(void* context, const float* mix, uint32_t frames, uint64_t first) noexcept;
    void SetTap(Tap tap, void* context) noexcept;

    // Membership of the mix; Remove waits until the mixing thread has let go.
    void Add(PlaybackState* state, std::weak_ptr<Channel> channel);
    void Remove(PlaybackState* state);

    void Render(float* out, uint32_t frames) noexcept override;

private:
    struct Member {
        PlaybackState* state;
        std::weak_ptr<Channel> channel;
    };
    struct Snapshot {
        std::vector<PlaybackState*> states;
    };
    void Publish();
    void UpdateMain();

    const int number_;
    const uint32_t rate_;
    const uint32_t flags_;
    std::unique_ptr<AudioEndpoint> endpoint_;

    std::mutex lock_; // membership changes; never taken by the mixing thread
    std::vector<Member> members_;
    std::vector<std::unique_ptr<Snapshot>> retired_;
    std::atomic<Snapshot*> snapshot_{nullptr};
    std::atomic<uint64_t> mixEpoch_{0}; // odd while the mixing thread is inside Render
    FrameClock clock_; // frames mixed, and when the last mix ended
    std::atomic<Tap> tap_{nullptr};
    std::atomic<void*> tapContext_{nullptr};

    std::thread updater_;
    std::mutex updateLock_;
    std::condition_variable updateWake_;
    bool stopUpdater_ = false;
};

} // namespace tsl::output
