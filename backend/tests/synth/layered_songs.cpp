#include "synth/layered_songs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "midifile/event_list.h"
#include "midifile/smf_reader.h"
#include "synth/sysex_store.h"

namespace tsl::test {

std::vector<BASS_MIDI_EVENT> LayeredSongs(size_t songs, uint32_t shiftFrames, uint32_t rate, uint32_t frameBytes) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(kLayeredSongsDir, ec))
        if (e.path().extension() == ".mid") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<BASS_MIDI_EVENT> all;
    for (size_t i = 0; i < files.size() && i < songs; ++i) {
        std::ifstream f(files[i], std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        midifile::SmfFile smf;
        if (midifile::ReadSmf(bytes, smf) != midifile::SmfStatus::Ok) continue;
        midifile::EventList list = midifile::BuildEventList(
            smf, rate, frameBytes, [](std::span<const uint8_t> s) { return SysExStore::Intern(s.data(), s.size()); });
        // Melodic parts move by three channels a song, never onto the drums.
        const DWORD move = static_cast<DWORD>(3 * i);
        for (BASS_MIDI_EVENT e : list.events) {
            if (e.event == MIDI_EVENT_END) continue;
            e.pos += static_cast<DWORD>(i * shiftFrames * frameBytes);
            if (e.chan != 9) {
                e.chan = (e.chan + move) % 16;
                if (e.chan == 9) e.chan = 10;
            }
            all.push_back(e);
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const BASS_MIDI_EVENT& a, const BASS_MIDI_EVENT& b) { return a.pos < b.pos; });
    return all;
}

} // namespace tsl::test
