#include "synth/midi_out.h"

#include <atomic>

namespace {
std::atomic<StreamEventsFn> g_events{nullptr};
std::atomic<StreamEventFn> g_event{nullptr};
}  // namespace

DWORD SendMidiBytes(HSTREAM stream, const BYTE* bytes, DWORD length) {
    if (StreamEventsFn hook = g_events.load(std::memory_order_acquire)) return hook(stream, BASS_MIDI_EVENTS_RAW, bytes, length);
    return BASS_MIDI_StreamEvents(stream, BASS_MIDI_EVENTS_RAW, bytes, length);
}

BOOL SendMidiEvent(HSTREAM stream, DWORD channel, DWORD event, DWORD param) {
    if (StreamEventFn hook = g_event.load(std::memory_order_acquire)) return hook(stream, channel, event, param);
    return BASS_MIDI_StreamEvent(stream, channel, event, param);
}

void SetMidiOutHooks(StreamEventsFn events, StreamEventFn event) {
    g_events.store(events, std::memory_order_release);
    g_event.store(event, std::memory_order_release);
}
