// BASS_MIDI_StreamCreateFile / BASS_MIDI_StreamGetEvents.
#include <algorithm>
#include <new>
#include <span>

#include "bassmidi.h"
#include "api/api_result.h"
#include "core/config.h"
#include "core/registry.h"
#include "encode/native_file.h"
#include "midifile/file_bytes.h"
#include "midifile/midi_file_stream.h"
#include "midifile/smf_reader.h"
#include "output/device_manager.h"
#include "synth/sysex_store.h"

namespace {

using tsl::api::Fail;

constexpr DWORD kStreamFlags = BASS_SAMPLE_8BITS | BASS_SAMPLE_MONO | BASS_SAMPLE_SOFTWARE | BASS_SAMPLE_FLOAT |
                               BASS_STREAM_DECODE | BASS_MIDI_DECAYEND | BASS_MIDI_NOFX | BASS_MIDI_NOTEOFF1 |
                               BASS_MIDI_ASYNC | BASS_MIDI_SINCINTER;

uint32_t KeepSysEx(std::span<const uint8_t> message) { return tsl::SysExStore::Intern(message.data(), message.size()); }

} // namespace

extern "C" {

HSTREAM BASSDEF(BASS_MIDI_StreamCreateFile)(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags,
                                            DWORD freq) {
    return tsl::api::GuardedCreate([&]() -> HSTREAM {
        const DWORD streamFlags = flags & ~BASS_UNICODE;
        if (!file) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
        if (streamFlags & ~kStreamFlags) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
        if (freq == 0) freq = 44100;
        if (freq < 22050 || freq > 96000) return Fail<HSTREAM>(BASS_ERROR_FORMAT, 0);
        int error = BASS_OK;
        if (!(streamFlags & BASS_STREAM_DECODE) && !tsl::output::CanCreatePlayableStream(error))
            return Fail<HSTREAM>(error, 0);

        std::vector<uint8_t> bytes;
        std::span<const uint8_t> data;
        if (mem) {
            if (!length || length > tsl::midifile::kMaxMidiFileBytes) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
            data = std::span(static_cast<const uint8_t*>(file) + offset, size_t(length));
        } else {
            const std::string path = tsl::encode::ApiTextToUtf8(file, (flags & BASS_UNICODE) != 0);
            error = tsl::midifile::ReadFileBytes(path, offset, length, bytes);
            if (error != BASS_OK) return Fail<HSTREAM>(error, 0);
            data = bytes;
        }
        tsl::midifile::SmfFile smf;
        if (tsl::midifile::ReadSmf(data, smf) != tsl::midifile::SmfStatus::Ok)
            return Fail<HSTREAM>(BASS_ERROR_FILEFORM, 0);
        bytes = {};

        // The stream's own format decides the byte positions of the events.
        tsl::SampleFormat format;
        format.rate = freq;
        format.channels = (streamFlags & BASS_SAMPLE_MONO) ? 1 : 2;
        format.isFloat = (streamFlags & BASS_SAMPLE_FLOAT) != 0;
        format.bytesPerSample = format.isFloat ? 4 : ((streamFlags & BASS_SAMPLE_8BITS) ? 1 : 2);
        auto list = tsl::midifile::BuildEventList(smf, freq, format.FrameBytes(), KeepSysEx);
        const uint32_t voices = std::clamp<uint32_t>(tsl::GetConfigValue(BASS_CONFIG_MIDI_VOICES), 16, 100000);
        auto stream = std::make_shared<tsl::midifile::MidiFileStream>(streamFlags, freq, voices, std::move(list),
                                                                     smf.trackCount);
        const auto& events = stream->Events();
        if (!stream->HandOverTimedList(events.events.data(), events.events.size(), int64_t(events.endBytes)))
            return Fail<HSTREAM>(BASS_ERROR_MEM, 0);
        return tsl::api::Register(std::move(stream));
    });
}

DWORD BASSDEF(BASS_MIDI_StreamGetEvents)(HSTREAM handle, int track, DWORD filter, BASS_MIDI_EVENT* events) {
    auto stream = std::dynamic_pointer_cast<tsl::midifile::MidiFileStream>(tsl::FindChannel(handle));
    if (!stream) {
        return Fail<DWORD>(tsl::FindChannel(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE, DWORD(-1));
    }
    if (track < -1 || track >= int(stream->Tracks())) return Fail<DWORD>(BASS_ERROR_ILLPARAM, DWORD(-1));
    tsl::SetError(BASS_OK);
    return tsl::midifile::SelectEvents(stream->Events(), track, filter, events);
}

} // extern "C"
