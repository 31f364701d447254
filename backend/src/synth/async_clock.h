// Arrival stamps for the live events of a stream made with BASS_MIDI_ASYNC
// that plays on a device: each event is given, on the sender's thread at the
// moment it arrives, the render frame that reaches the speaker one constant
// latency later, and the renderer applies it at that frame. Rendering runs in
// bursts of many milliseconds, so applying events at the next block instead
// would let the latency wander by the length of a burst.
//
// Sender side only; one sender at a time (the stream's send lock).
#pragma once

#include <cstdint>
#include <memory>

namespace tsl {

class Channel;
class PlaybackState;

class AsyncClock {
public:
    // enabled: the stream asked for asynchronous events and plays on a
    // device. Disabled clocks stamp every event "at the next block".
    explicit AsyncClock(bool enabled) noexcept : enabled_(enabled) {}

    // The frame for an event arriving now: 0 for "at the next block" (not
    // enabled, or not playing yet); never earlier than the previous stamp,
    // so that events stay in the order they were sent.
    uint64_t Stamp(const Channel& channel) noexcept;

private:
    const bool enabled_;
    // The channel's playback state, held once it exists (it lives as long as
    // the channel), so stamping after that takes no lock.
    std::shared_ptr<PlaybackState> playback_;
    uint64_t last_ = 0;
};

} // namespace tsl
