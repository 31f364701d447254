// The C API of MIDI streams: creation, events, fonts, attributes, decoding.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TSL_CONVERT_SSE2 1
#endif

#include "bass.h"
#include "bassmidi.h"
#include "core/config.h"
#include "api/api_result.h"
#include "core/registry.h"
#include "encode/encoder.h"
#include "output/device_manager.h"
#include "synth/dsp_math.h"
#include "synth/midi_stream.h"
#include "synth/render_pool.h"
#include "synth/sysex_store.h"

using tsl::MidiStream;

namespace {

using tsl::api::Fail;

std::shared_ptr<MidiStream> FindStream(DWORD handle) {
    std::shared_ptr<tsl::Channel> c = tsl::FindChannel(handle);
    return std::dynamic_pointer_cast<MidiStream>(c);
}

constexpr DWORD kKnownFlags = BASS_SAMPLE_8BITS | BASS_SAMPLE_MONO | BASS_SAMPLE_SOFTWARE | BASS_SAMPLE_FLOAT |
                              BASS_STREAM_DECODE | BASS_MIDI_DECAYEND | BASS_MIDI_NOFX | BASS_MIDI_NOTEOFF1 |
                              BASS_MIDI_ASYNC | BASS_MIDI_SINCINTER;

// One sample to 16 bits: scaled, clamped, rounded to nearest (a NaN comes
// out as 0).
inline int16_t To16(float x) noexcept {
    return static_cast<int16_t>(tsl::dsp::RoundToInt(std::clamp(x * 32768.0f, -32768.0f, 32767.0f)));
}

// Converts float frames into the stream's sample format.
void ConvertSamples(const float* in, size_t samples, const tsl::SampleFormat& f, uint8_t* out) noexcept {
    if (f.isFloat) {
        std::memcpy(out, in, samples * sizeof(float));
    } else if (f.bytesPerSample == 2) {
        int16_t* o = reinterpret_cast<int16_t*>(out);
        size_t i = 0;
#ifdef TSL_CONVERT_SSE2
        // Eight at a time, each as To16 gives it: the same product and clamp,
        // NaNs made 0 first (To16 rounds them to 0), the same rounding.
        const __m128 scale = _mm_set1_ps(32768.0f), lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
        auto four = [&](const float* p) noexcept {
            __m128 v = _mm_mul_ps(_mm_loadu_ps(p), scale);
            v = _mm_and_ps(v, _mm_cmpord_ps(v, v));
            return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(v, lo), hi));
        };
        for (; i + 8 <= samples; i += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), _mm_packs_epi32(four(in + i), four(in + i + 4)));
#endif
        for (; i < samples; ++i) o[i] = To16(in[i]);
    } else {
        for (size_t i = 0; i < samples; ++i)
            out[i] = static_cast<uint8_t>(tsl::dsp::RoundToInt(std::clamp(in[i] * 128.0f + 128.0f, 0.0f, 255.0f)));
    }
}

} // namespace

extern "C" {

HSTREAM BASSDEF(BASS_MIDI_StreamCreate)(DWORD channels, DWORD flags, DWORD freq) {
    if (channels == 0 || channels > 16) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
    if (flags & ~kKnownFlags) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
    if (freq == 0) freq = 44100;
    if (freq < 22050 || freq > 96000) return Fail<HSTREAM>(BASS_ERROR_FORMAT, 0);
    // A playing stream needs a device that plays: none initialised, or the
    // no-sound device, is a failure the caller must hear about now, not a
    // stream that never sounds. Decoding streams need no device at all.
    int error = BASS_OK;
    if (!(flags & BASS_STREAM_DECODE) && !tsl::output::CanCreatePlayableStream(error)) return Fail<HSTREAM>(error, 0);
    const uint32_t voices = std::clamp<uint32_t>(tsl::GetConfigValue(BASS_CONFIG_MIDI_VOICES), 16, 100000);
    const uint32_t threads = tsl::GetConfigValue(BASS_CONFIG_MIDI_THREADS);
    return tsl::api::GuardedCreate([&] {
        auto s = std::make_shared<MidiStream>(flags, freq, voices);
        s->SetThreads(threads);
        return tsl::api::Register(std::move(s));
    });
}

BOOL BASSDEF(BASS_StreamFree)(HSTREAM handle) {
    std::shared_ptr<tsl::Channel> c = tsl::UnregisterChannel(handle);
    if (!c) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
    // An encoder started with auto-free ends with its stream; the stream
    // object itself goes when the last user (a device thread, say) lets go.
    if (c->encoder && c->encoder->autoFree) c->encoder->Stop();
    c->encoder.reset();
    tsl::SetError(BASS_OK);
    return TRUE;
}

DWORD BASSDEF(BASS_ChannelGetData)(DWORD handle, void* buffer, DWORD length) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<DWORD>(BASS_ERROR_HANDLE, static_cast<DWORD>(-1));
    if (!(s->flags & BASS_STREAM_DECODE)) return Fail<DWORD>(BASS_ERROR_NOTAVAIL, static_cast<DWORD>(-1));
    if (!buffer && length) return Fail<DWORD>(BASS_ERROR_ILLPARAM, static_cast<DWORD>(-1));
    length &= 0x0FFFFFFFu; // the high bits are request flags, not a length
    const tsl::SampleFormat f = s->format;
    const uint32_t fb = f.FrameBytes();
    uint32_t frames = length / fb;
    if (s->Ended()) return Fail<DWORD>(BASS_ERROR_ENDED, static_cast<DWORD>(-1));
    constexpr uint32_t kChunk = 4096;
    float tmp[kChunk * 2];
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < frames) {
        uint32_t want = std::min(kChunk, frames - done);
        uint32_t got = s->RenderFloat(tmp, want);
        ConvertSamples(tmp, static_cast<size_t>(got) * f.channels, f, out + static_cast<size_t>(done) * fb);
        done += got;
        if (got < want) break;
    }
    DWORD bytes = done * fb;
    if (bytes == 0 && frames > 0) return Fail<DWORD>(BASS_ERROR_ENDED, static_cast<DWORD>(-1));
    if (bytes && s->encoder) s->encoder->Write(buffer, bytes);
    tsl::SetError(BASS_OK);
    return bytes;
}

BOOL BASSDEF(BASS_ChannelSetAttribute)(DWORD handle, DWORD attrib, float value) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
    if (std::isnan(value)) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
    switch (attrib) {
    case BASS_ATTRIB_MIDI_CPU: s->SetCpuLimit(std::clamp(value, 0.0f, 100.0f)); break;
    case BASS_ATTRIB_MIDI_REVERB: s->SetReverbScale(std::clamp(value, 0.0f, 10.0f)); break;
    case BASS_ATTRIB_VOL: s->SetVolume(std::clamp(value, 0.0f, 10.0f)); break;
    case BASS_ATTRIB_MIDI_THREADS:
        s->SetThreads(static_cast<uint32_t>(std::clamp(value, 0.0f, static_cast<float>(tsl::RenderPool::kMaxThreads))));
        break;
    default: return Fail<BOOL>(BASS_ERROR_ILLTYPE, FALSE);
    }
    tsl::SetError(BASS_OK);
    return TRUE;
}

BOOL BASSDEF(BASS_ChannelGetAttribute)(DWORD handle, DWORD attrib, float* value) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
    if (!value) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
    switch (attrib) {
    case BASS_ATTRIB_CPU: *value = s->CpuPercent(); break;
    case BASS_ATTRIB_MIDI_CPU: *value = s->CpuLimit(); break;
    case BASS_ATTRIB_MIDI_VOICES: *value = static_cast<float>(s->MaxVoices()); break;
    case BASS_ATTRIB_MIDI_VOICES_ACTIVE: *value = static_cast<float>(s->ActiveVoices()); break;
    case BASS_ATTRIB_MIDI_REVERB: *value = s->ReverbScale(); break;
    case BASS_ATTRIB_VOL: *value = s->Volume(); break;
    case BASS_ATTRIB_MIDI_THREADS: *value = static_cast<float>(s->Threads()); break;
    default: return Fail<BOOL>(BASS_ERROR_ILLTYPE, FALSE);
    }
    tsl::SetError(BASS_OK);
    return TRUE;
}

BOOL BASSDEF(BASS_ChannelSetAttributeEx)(DWORD handle, DWORD attrib, void* value, DWORD size) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
    if (attrib != BASS_ATTRIB_MIDI_STATE) return Fail<BOOL>(BASS_ERROR_ILLTYPE, FALSE);
    if (!value || !s->SetState(static_cast<const uint8_t*>(value), size)) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
    tsl::SetError(BASS_OK);
    return TRUE;
}

DWORD BASSDEF(BASS_ChannelGetAttributeEx)(DWORD handle, DWORD attrib, void* value, DWORD size) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<DWORD>(BASS_ERROR_HANDLE, 0);
    if (attrib != BASS_ATTRIB_MIDI_STATE) return Fail<DWORD>(BASS_ERROR_ILLTYPE, 0);
    std::vector<uint8_t> blob = s->GetState();
    tsl::SetError(BASS_OK);
    if (!value) return static_cast<DWORD>(blob.size()); // size query
    if (size < blob.size()) return Fail<DWORD>(BASS_ERROR_ILLPARAM, 0);
    std::memcpy(value, blob.data(), blob.size());
    return static_cast<DWORD>(blob.size());
}

BOOL BASSDEF(BASS_MIDI_StreamSetFonts)(HSTREAM handle, const BASS_MIDI_FONT* fonts, DWORD count) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
    if (count && !fonts) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
    if (count > 65536) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
    int error = BASS_OK;
    try {
        if (!s->SetFonts(fonts, count, &error)) return Fail<BOOL>(error, FALSE);
    } catch (const std::bad_alloc&) {
        return Fail<BOOL>(BASS_ERROR_MEM, FALSE);
    }
    tsl::SetError(BASS_OK);
    return TRUE;
}

DWORD BASSDEF(BASS_MIDI_StreamGetFonts)(HSTREAM handle, BASS_MIDI_FONT* fonts, DWORD count) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<DWORD>(BASS_ERROR_HANDLE, static_cast<DWORD>(-1));
    tsl::SetError(BASS_OK);
    return s->GetFonts(fonts, count);
}

DWORD BASSDEF(BASS_MIDI_StreamEvents)(HSTREAM handle, DWORD mode, const void* events, DWORD length) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<DWORD>(BASS_ERROR_HANDLE, static_cast<DWORD>(-1));
    if (!events && length) return Fail<DWORD>(BASS_ERROR_ILLPARAM, static_cast<DWORD>(-1));
    try {
        if (mode & BASS_MIDI_EVENTS_RAW) {
            int64_t n = s->SendRaw(static_cast<const uint8_t*>(events), length);
            if (n < 0) return Fail<DWORD>(BASS_ERROR_BUSY, static_cast<DWORD>(-1));
            tsl::SetError(BASS_OK);
            return static_cast<DWORD>(n);
        }
        if ((mode & ~BASS_MIDI_EVENTS_TIME) != BASS_MIDI_EVENTS_STRUCT)
            return Fail<DWORD>(BASS_ERROR_ILLPARAM, static_cast<DWORD>(-1));
        const auto* ev = static_cast<const BASS_MIDI_EVENT*>(events);
        if (mode & BASS_MIDI_EVENTS_TIME) {
            if (!s->HandOverTimedList(ev, length)) return Fail<DWORD>(BASS_ERROR_BUSY, static_cast<DWORD>(-1));
            tsl::SetError(BASS_OK);
            return length;
        }
        int64_t n = s->SendEvents(ev, length);
        if (n < 0) return Fail<DWORD>(BASS_ERROR_BUSY, static_cast<DWORD>(-1));
        tsl::SetError(BASS_OK);
        return static_cast<DWORD>(n);
    } catch (const std::bad_alloc&) {
        return Fail<DWORD>(BASS_ERROR_MEM, static_cast<DWORD>(-1));
    }
}

BOOL BASSDEF(BASS_MIDI_StreamEvent)(HSTREAM handle, DWORD chan, DWORD event, DWORD param) {
    std::shared_ptr<MidiStream> s = FindStream(handle);
    if (!s) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
    if (chan >= 16) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
    if (!s->SendEvent(event, param, chan)) return Fail<BOOL>(BASS_ERROR_BUSY, FALSE);
    tsl::SetError(BASS_OK);
    return TRUE;
}

DWORD BASSDEF(BASS_MIDI_GetSysEx)(DWORD id, void* buffer, DWORD length) {
    tsl::SysExView v = tsl::SysExStore::Find(id);
    if (!v.data) return Fail<DWORD>(BASS_ERROR_ILLPARAM, 0);
    if (buffer) std::memcpy(buffer, v.data, std::min<DWORD>(length, v.size));
    tsl::SetError(BASS_OK);
    return v.size;
}

} // extern "C"
