#include "midifile/event_list.h"

#include <algorithm>
#include <cmath>

#include "midifile/tempo_map.h"

namespace tsl::midifile {
namespace {

// Byte positions are 32-bit in the event record; very long renders saturate
// rather than wrap so ordering is never broken.
uint32_t Position(double seconds, uint32_t rate, uint32_t frameBytes, uint64_t& full) noexcept {
    const uint64_t frame = uint64_t(std::floor(seconds * rate + 0.5));
    full = frame * frameBytes;
    return uint32_t(std::min<uint64_t>(full, UINT32_MAX));
}

bool Translate(const SmfFile& file, const SmfEvent& e, const SysExKeeper& keep, BASS_MIDI_EVENT& out) {
    out.chan = e.status & 0x0F;
    switch (e.status & 0xF0) {
    case 0x80: out.event = MIDI_EVENT_NOTE; out.param = e.data1; return true;
    case 0x90: out.event = MIDI_EVENT_NOTE; out.param = e.data1 | uint32_t(e.data2) << 8; return true;
    case 0xA0: out.event = MIDI_EVENT_KEYPRES; out.param = e.data1 | uint32_t(e.data2) << 8; return true;
    case 0xB0: out.event = MIDI_EVENT_CONTROL; out.param = e.data1 | uint32_t(e.data2) << 8; return true;
    case 0xC0: out.event = MIDI_EVENT_PROGRAM; out.param = e.data1; return true;
    case 0xD0: out.event = MIDI_EVENT_CHANPRES; out.param = e.data1; return true;
    case 0xE0: out.event = MIDI_EVENT_PITCH; out.param = e.data1 | uint32_t(e.data2) << 7; return true;
    default: break;
    }
    out.chan = 0;
    if (e.status == 0xF0) {
        const uint32_t id = keep ? keep(file.Data(e)) : 0;
        if (!id) return false;
        out.event = MIDI_EVENT_SYSTEMEX;
        out.param = id;
        return true;
    }
    if (const uint32_t tempo = TempoOf(file, e)) {
        out.event = MIDI_EVENT_TEMPO;
        out.param = tempo;
        return true;
    }
    return false;
}

} // namespace

EventList BuildEventList(const SmfFile& file, uint32_t rate, uint32_t frameBytes, const SysExKeeper& keep) {
    EventList list;
    const TempoMap tempo(file);
    list.events.reserve(file.events.size() + 1);
    list.tracks.reserve(file.events.size() + 1);
    uint64_t full = 0;
    for (const SmfEvent& e : file.events) {
        BASS_MIDI_EVENT out{};
        if (!Translate(file, e, keep, out)) continue;
        out.tick = e.tick;
        out.pos = Position(tempo.Seconds(e.tick), rate, frameBytes, full);
        list.events.push_back(out);
        list.tracks.push_back(e.track);
    }
    BASS_MIDI_EVENT end{};
    end.event = MIDI_EVENT_END;
    end.tick = file.endTick;
    end.pos = Position(tempo.Seconds(file.endTick), rate, frameBytes, full);
    list.endBytes = full;
    list.events.push_back(end);
    list.tracks.push_back(0);
    return list;
}

uint32_t SelectEvents(const EventList& list, int track, uint32_t filter, BASS_MIDI_EVENT* out) noexcept {
    uint32_t n = 0;
    for (size_t i = 0; i < list.events.size(); ++i) {
        const BASS_MIDI_EVENT& e = list.events[i];
        // The closing event belongs to every track.
        const bool last = i + 1 == list.events.size();
        if (track >= 0 && !last && list.tracks[i] != track) continue;
        if (filter && e.event != filter) continue;
        if (out) out[n] = e;
        ++n;
    }
    return n;
}

} // namespace tsl::midifile
