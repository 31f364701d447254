// Dense real music for thread and speed measurements: the songs of a Debian
// package of MIDI files laid over each other, each shifted in time and
// moved to other channels, so that hundreds of voices sound at once with
// the churn, controllers and effect sends of real songs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bass.h"
#include "bassmidi.h"

namespace tsl::test {

// Where the songs are (openttd-openmsx).
inline constexpr const char* kLayeredSongsDir = "/usr/share/games/openttd/baseset/openmsx";

// Up to `songs` songs (in name order), song i starting i * shiftFrames
// frames late, as one time-ordered list whose positions are bytes of a
// stream with `frameBytes` bytes per frame at `rate`. Empty when the songs
// are not installed.
std::vector<BASS_MIDI_EVENT> LayeredSongs(size_t songs, uint32_t shiftFrames, uint32_t rate, uint32_t frameBytes);

} // namespace tsl::test
