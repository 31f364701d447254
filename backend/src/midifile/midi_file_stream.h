// A MIDI stream playing a standard MIDI file: the synthesizer stream with the
// file's whole event list handed over at creation, and that list kept for
// BASS_MIDI_StreamGetEvents.
#pragma once

#include "midifile/event_list.h"
#include "synth/midi_stream.h"

namespace tsl::midifile {

class MidiFileStream final : public MidiStream {
public:
    MidiFileStream(uint32_t flags, uint32_t rate, uint32_t voices, EventList list, uint16_t tracks)
        : MidiStream(flags, rate, voices), list_(std::move(list)), tracks_(tracks) {}

    const EventList& Events() const noexcept { return list_; }
    uint16_t Tracks() const noexcept { return tracks_; }

private:
    const EventList list_;
    const uint16_t tracks_;
};

} // namespace tsl::midifile
