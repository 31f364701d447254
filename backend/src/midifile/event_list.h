// A parsed MIDI file as the stream plays it: BASS_MIDI_EVENT records with
// ticks and byte positions in one output format.
//
// Controllers are all reported as MIDI_EVENT_CONTROL (param = controller |
// value << 8) so the synthesizer interprets them exactly as live MIDI, RPNs
// and bank selects included. Meta events other than tempo (text, lyrics,
// markers) are not events of the stream.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "bassmidi.h"
#include "midifile/smf_reader.h"

namespace tsl::midifile {

struct EventList {
    std::vector<BASS_MIDI_EVENT> events; // in time order, closed by MIDI_EVENT_END
    std::vector<uint16_t> tracks;        // the track of each event
    uint64_t endBytes = 0;               // position of the MIDI_EVENT_END
};

// Keeps a whole SysEx message and returns its MIDI_EVENT_SYSTEMEX id (0 drops it).
using SysExKeeper = std::function<uint32_t(std::span<const uint8_t>)>;

EventList BuildEventList(const SmfFile& file, uint32_t rate, uint32_t frameBytes, const SysExKeeper& keep);

// BASS_MIDI_StreamGetEvents: track -1 = all, filter 0 = every type. With `out`
// null only counts.
uint32_t SelectEvents(const EventList& list, int track, uint32_t filter, BASS_MIDI_EVENT* out) noexcept;

} // namespace tsl::midifile
