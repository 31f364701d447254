#include "output/device.h"

#include <algorithm>
#include <chrono>

#include "bass.h"
#include "core/channel.h"
#include "core/config.h"
#include "output/clock.h"
#include "output/playback.h"
#include "synth/denormals.h"

namespace tsl::output {

Device::Device(int number, uint32_t rate, uint32_t flags) : number_(number), rate_(rate), flags_(flags) {
    snapshot_.store(new Snapshot, std::memory_order_release);
}

Device::~Device() {
    Shutdown();
    delete snapshot_.load(std::memory_order_acquire);
}

int Device::Start(const std::string& endpointId, bool followDefault) {
    if (number_ != 0) {
        int error = BASS_OK;
        endpoint_ = AudioBackend::Get().Open(endpointId, followDefault, rate_, *this, error);
        if (!endpoint_) return error ? error : BASS_ERROR_DRIVER;
    }
    updater_ = std::thread([this] { UpdateMain(); });
    return BASS_OK;
}

void Device::Shutdown() {
    {
        std::lock_guard<std::mutex> g(updateLock_);
        stopUpdater_ = true;
    }
    updateWake_.notify_all();
    if (updater_.joinable()) updater_.join();
    endpoint_.reset(); // joins the mixing thread
}

uint32_t Device::LatencyMs() const noexcept { return endpoint_ ? endpoint_->LatencyMs() : 0; }
uint32_t Device::MinBufferMs() const noexcept { return endpoint_ ? endpoint_->MinBufferMs() : 0; }

void Device::Add(PlaybackState* state, std::weak_ptr<Channel> channel) {
    std::lock_guard<std::mutex> g(lock_);
    members_.push_back({state, std::move(channel)});
    Publish();
}

void Device::Remove(PlaybackState* state) {
    std::lock_guard<std::mutex> g(lock_);
    const auto it = std::find_if(members_.begin(), members_.end(), [&](const Member& m) { return m.state == state; });
    if (it == members_.end()) return;
    members_.erase(it);
    Publish(); // returns once the mixing thread cannot see the state any more
}

// Under lock_. The mixing thread reads the snapshot without locking, so the
// old one is freed only after a Render that may have loaded it has finished
// (a bounded wait: Render never blocks).
void Device::Publish() {
    auto next = std::make_unique<Snapshot>();
    for (const Member& m : members_) next->states.push_back(m.state);
    Snapshot* old = snapshot_.exchange(next.release(), std::memory_order_acq_rel);
    retired_.emplace_back(old);
    const uint64_t epoch = mixEpoch_.load(std::memory_order_acquire);
    if (epoch & 1) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (mixEpoch_.load(std::memory_order_acquire) == epoch && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }
    retired_.clear();
}

void Device::Render(float* out, uint32_t frames) noexcept {
    DenormalGuard denormals;
    mixEpoch_.fetch_add(1, std::memory_order_acq_rel);
    std::fill(out, out + size_t(frames) * 2, 0.0f);
    const Snapshot* s = snapshot_.load(std::memory_order_acquire);
    for (PlaybackState* st : s->states) st->MixInto(out, frames);
    const uint64_t first = clock_.Frames();
    clock_.Publish(first + frames);
    if (const Tap tap = tap_.load(std::memory_order_acquire))
        tap(tapContext_.load(std::memory_order_acquire), out, frames, first);
    mixEpoch_.fetch_add(1, std::memory_order_release);
}

uint64_t Device::FramesConsumedNow() const noexcept {
    // The device takes whole periods; the time since the last one fills in.
    return clock_.Frames() ? clock_.Now(rate_) : 0;
}

void Device::SetTap(Tap tap, void* context) noexcept {
    tapContext_.store(context, std::memory_order_release);
    tap_.store(tap, std::memory_order_release);
    // Once this returns the mixing thread no longer calls the old tap.
    const uint64_t epoch = mixEpoch_.load(std::memory_order_acquire);
    if (epoch & 1) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (mixEpoch_.load(std::memory_order_acquire) == epoch && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }
}

// Automatic updating (BASS_CONFIG_UPDATEPERIOD > 0): keeps every stream's
// buffer full. With 0 the streams' owners call BASS_ChannelUpdate themselves.
void Device::UpdateMain() {
    std::vector<std::shared_ptr<Channel>> channels;
    std::unique_lock<std::mutex> wait(updateLock_);
    while (!stopUpdater_) {
        const uint32_t period = GetConfigValue(BASS_CONFIG_UPDATEPERIOD);
        updateWake_.wait_for(wait, std::chrono::milliseconds(period ? std::clamp<uint32_t>(period, 5, 100) : 50));
        if (stopUpdater_ || period == 0) continue;
        wait.unlock();
        {
            std::lock_guard<std::mutex> g(lock_);
            for (const Member& m : members_)
                if (auto c = m.channel.lock()) channels.push_back(std::move(c));
        }
        const uint32_t ms = GetConfigValue(BASS_CONFIG_BUFFER);
        for (const auto& c : channels)
            if (c->playback) c->playback->FillAhead(*c, ms);
        channels.clear(); // may free a channel: done without lock_ held
        wait.lock();
    }
}

} // namespace tsl::output
