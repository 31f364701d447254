// The MIDI state blob (BASS_ATTRIB_MIDI_STATE): every channel's program,
// banks, controllers, pitch bend, RPN state, tuning, drum flag, mix level and
// transposition, and the system mode, master volume and effect levels.
//
// Layout (little-endian, independent of the build's word size):
//   "TSLS", u32 version (1), u32 total size, globals, then 16 channel records.
// A blob of another version or size is refused, never half-applied.
#pragma once

#include <cstddef>
#include <cstdint>

#include "synth/channel_state.h"

namespace tsl {

struct MidiState {
    SystemMode mode = SystemMode::kDefault;
    uint16_t masterVolume = 16383;
    uint8_t reverbLevel = 64, chorusLevel = 64;
    ChannelState channels[16];
};

constexpr uint32_t kStateBlobVersion = 1;
// Exact byte size of a version-1 blob.
size_t StateBlobSize() noexcept;
// Writes the blob; `out` must hold StateBlobSize() bytes.
void EncodeState(const MidiState& s, uint8_t* out) noexcept;
// Parses a blob; false (and `s` untouched) when it is not a valid blob.
bool DecodeState(const uint8_t* data, size_t size, MidiState& s) noexcept;

} // namespace tsl
