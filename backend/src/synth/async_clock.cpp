#include "synth/async_clock.h"

#include <algorithm>

#include "output/playback.h"
#include "output/stream_output.h"

namespace tsl {

uint64_t AsyncClock::Stamp(const Channel& channel) noexcept {
    if (!enabled_) return 0;
    if (!playback_) {
        try {
            playback_ = output::ExistingPlaybackOf(channel);
        } catch (...) {
        }
        if (!playback_) return last_;
    }
    const uint64_t at = playback_->AsyncEventFrame();
    if (at == UINT64_MAX) return last_; // stopped: as soon as the events before it
    last_ = std::max(last_, at);
    return last_;
}

} // namespace tsl
