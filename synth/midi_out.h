// The two calls through which every MIDI byte and event reaches a stream.
// They go through replaceable function pointers so that tests can record
// exactly what a client stream hands to the back end (no device needed).
#pragma once

#include <bass.h>
#include <bassmidi.h>

using StreamEventsFn = DWORD (*)(HSTREAM handle, DWORD mode, const void* events, DWORD length);
using StreamEventFn = BOOL (*)(HSTREAM handle, DWORD channel, DWORD event, DWORD param);

// Raw MIDI bytes (BASS_MIDI_EVENTS_RAW).
DWORD SendMidiBytes(HSTREAM stream, const BYTE* bytes, DWORD length);
// One BASSMIDI event on one channel.
BOOL SendMidiEvent(HSTREAM stream, DWORD channel, DWORD event, DWORD param);

// Tests only: null restores the back end's functions.
void SetMidiOutHooks(StreamEventsFn events, StreamEventFn event);
