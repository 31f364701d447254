// The output side of one channel as the C API reaches it: its playback
// state, made on first use on the device the channel belongs to.
#pragma once

#include <memory>

#include "core/channel.h"
#include "output/playback.h"

namespace tsl::output {

// The channel's playback state, created when missing. Null with an error
// code: BASS_ERROR_DECODE for decoding channels, BASS_ERROR_INIT when its
// device is not initialised, BASS_ERROR_NOTAVAIL on the no-sound device,
// BASS_ERROR_FORMAT when the device mixes at another rate.
std::shared_ptr<PlaybackState> PlaybackOf(const std::shared_ptr<Channel>& channel, int& error);

// The existing playback state (null when none yet).
std::shared_ptr<PlaybackState> ExistingPlaybackOf(const Channel& channel);

// For BASS_MIDI_ASYNC: the stream frame at which an event sent now should
// take effect for constant latency; UINT64_MAX when it should apply at once
// (decoding stream, or not playing).
uint64_t AsyncEventFrame(const Channel& channel) noexcept;

} // namespace tsl::output
