// The event list of one MIDI file as the converter queues it on its rendering
// stream: read through a MIDI-file stream made with the rendering stream's own
// flags and rate, so that every event's position is a byte position of the
// rendering stream.
#pragma once

#include <windows.h>

#include <bassmidi.h>

#include <string>
#include <vector>

struct EventFilter {
    bool skipInitialSilence = false;  // the first sounding note moves to 0
    int channel = -1;                 // 0-15: notes of the other channels are dropped
    bool dropSysEx = false;           // ReverbChorusOverride: the file's own SysEx is not applied
};

// Applies `filter` to the file's events (in time order) and appends the closing
// MIDI_EVENT_END at the last kept position. `totalBytes` receives that
// position. Returns whether a note event was kept.
bool FilterMidiEvents(const std::vector<BASS_MIDI_EVENT>& in, const EventFilter& filter,
                      std::vector<BASS_MIDI_EVENT>& out, QWORD& totalBytes);

enum class LoadResult { Ok, NoNotes, OpenFailed };

// Reads `path` (BASS_MIDI_StreamCreateFile with `streamFlags` and `rate`) and
// filters its events. OpenFailed leaves the back end's error code in `error`.
LoadResult LoadMidiEvents(const std::wstring& path, DWORD streamFlags, DWORD rate, const EventFilter& filter,
                          std::vector<BASS_MIDI_EVENT>& events, QWORD& totalBytes, int& error);
