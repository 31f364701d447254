#include "output/stream_output.h"

#include <mutex>

#include "bass.h"
#include "core/config.h"
#include "output/device.h"
#include "output/device_manager.h"

namespace tsl::output {
namespace {

// Guards Channel::playback, which is created lazily by whichever thread
// first plays or updates the channel.
std::mutex& PlaybackLock() {
    static std::mutex m;
    return m;
}

} // namespace

std::shared_ptr<PlaybackState> PlaybackOf(const std::shared_ptr<Channel>& channel, int& error) {
    if (channel->flags & BASS_STREAM_DECODE) {
        error = BASS_ERROR_DECODE;
        return nullptr;
    }
    std::lock_guard<std::mutex> g(PlaybackLock());
    if (channel->playback) return channel->playback;
    const int number = channel->device > 0 ? channel->device : CurrentDevice();
    auto device = FindDevice(number);
    if (!device) {
        error = BASS_ERROR_INIT;
        return nullptr;
    }
    if (!device->CanPlay()) {
        error = BASS_ERROR_NOTAVAIL;
        return nullptr;
    }
    if (device->Rate() != channel->format.rate) {
        error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    auto state = std::make_shared<PlaybackState>(device, channel->format, GetConfigValue(BASS_CONFIG_BUFFER));
    device->Add(state.get(), channel);
    channel->playback = state;
    return state;
}

std::shared_ptr<PlaybackState> ExistingPlaybackOf(const Channel& channel) {
    std::lock_guard<std::mutex> g(PlaybackLock());
    return channel.playback;
}

uint64_t AsyncEventFrame(const Channel& channel) noexcept {
    try {
        auto p = ExistingPlaybackOf(channel);
        return p ? p->AsyncEventFrame() : UINT64_MAX;
    } catch (...) {
        return UINT64_MAX;
    }
}

} // namespace tsl::output
