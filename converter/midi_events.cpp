#include "converter/midi_events.h"

#include "converter/bass_stream.h"

namespace {

bool IsSoundingNote(const BASS_MIDI_EVENT& e)
{
    const DWORD velocity = (e.param >> 8) & 0xFF;
    return e.event == MIDI_EVENT_NOTE && velocity >= 1 && velocity <= 127;
}


}  // namespace

bool FilterMidiEvents(const std::vector<BASS_MIDI_EVENT>& in, const EventFilter& filter,
                      std::vector<BASS_MIDI_EVENT>& out, QWORD& totalBytes)
{
    DWORD t0 = 0, p0 = 0;
    if (filter.skipInitialSilence) {
        for (const BASS_MIDI_EVENT& e : in) {
            if (IsSoundingNote(e)) {
                t0 = e.tick;
                p0 = e.pos;
                break;
            }
        }
    }
    out.clear();
    out.reserve(in.size() + 1);
    totalBytes = 0;
    bool anyNote = false;
    for (BASS_MIDI_EVENT e : in) {
        // The file's own end is replaced by ours, after the last event kept.
        if (e.event == MIDI_EVENT_END)
            continue;
        if (filter.skipInitialSilence) {
            if (e.pos <= p0) {
                // Controllers and programs before the first note take effect at once.
                e.tick = 0;
                e.pos = 0;
            } else {
                e.tick -= t0;
                e.pos -= p0;
            }
        }
        if (filter.channel >= 0 && e.event == MIDI_EVENT_NOTE && e.chan != static_cast<DWORD>(filter.channel))
            continue;
        if (filter.dropSysEx && e.event == MIDI_EVENT_SYSTEMEX)
            continue;
        out.push_back(e);
        if (e.event == MIDI_EVENT_NOTE)
            anyNote = true;
        if (e.pos > totalBytes)
            totalBytes = e.pos;
    }
    out.push_back(BASS_MIDI_EVENT{MIDI_EVENT_END, 0, 0, 0, static_cast<DWORD>(totalBytes)});
    return anyNote;
}

LoadResult LoadMidiEvents(const std::wstring& path, DWORD streamFlags, DWORD rate, const EventFilter& filter,
                          std::vector<BASS_MIDI_EVENT>& events, QWORD& totalBytes, int& error)
{
    events.clear();
    totalBytes = 0;
    CBassStream file(BASS_MIDI_StreamCreateFile(FALSE, path.c_str(), 0, 0, streamFlags | BASS_UNICODE, rate));
    if (!file.Get()) {
        error = BASS_ErrorGetCode();
        return LoadResult::OpenFailed;
    }
    const DWORD count = BASS_MIDI_StreamGetEvents(file.Get(), -1, 0, nullptr);
    std::vector<BASS_MIDI_EVENT> all;
    if (count != static_cast<DWORD>(-1) && count > 0) {
        all.resize(count);
        const DWORD got = BASS_MIDI_StreamGetEvents(file.Get(), -1, 0, all.data());
        all.resize(got == static_cast<DWORD>(-1) ? 0 : got < count ? got : count);
    }
    return FilterMidiEvents(all, filter, events, totalBytes) ? LoadResult::Ok : LoadResult::NoNotes;
}
