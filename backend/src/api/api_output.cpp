// Devices and playback: BASS_Init/Free/SetDevice/GetDevice/GetInfo/
// GetDeviceInfo, BASS_ChannelPlay/Stop/Update/IsActive/GetLevel and the
// byte/second conversions.
#include <cmath>
#include <new>
#include <utility>

#include "bass.h"
#include "api/api_result.h"
#include "core/registry.h"
#include "output/device_manager.h"
#include "output/stream_output.h"
#include "synth/midi_stream.h"

namespace {

using tsl::api::Fail;
using tsl::api::Ok;

template <class T, class F>
T Guard(T failed, F&& f) {
    return tsl::api::Guarded(failed, BASS_ERROR_UNKNOWN, std::forward<F>(f));
}

// Runs `f` on the channel and its playback state (made on first use).
template <class F>
BOOL WithPlayback(DWORD handle, F&& f) {
    return Guard<BOOL>(FALSE, [&] {
        auto c = tsl::FindChannel(handle);
        if (!c) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
        int error = BASS_OK;
        auto p = tsl::output::PlaybackOf(c, error);
        if (!p) return Fail<BOOL>(error, FALSE);
        f(*c, *p);
        return Ok<BOOL>(TRUE);
    });
}

bool Ended(const tsl::Channel& c) {
    const auto* s = dynamic_cast<const tsl::MidiStream*>(&c);
    return s && s->Ended();
}

} // namespace

extern "C" {

BOOL BASSDEF(BASS_Init)(int device, DWORD freq, DWORD flags, HWND, const void*) {
    return Guard<BOOL>(FALSE, [&] {
        const int error = tsl::output::InitDevice(device, freq, flags);
        return error == BASS_OK ? Ok<BOOL>(TRUE) : Fail<BOOL>(error, FALSE);
    });
}

BOOL BASSDEF(BASS_Free)(void) {
    return Guard<BOOL>(FALSE, [&] {
        const int error = tsl::output::FreeCurrentDevice();
        return error == BASS_OK ? Ok<BOOL>(TRUE) : Fail<BOOL>(error, FALSE);
    });
}

BOOL BASSDEF(BASS_SetDevice)(DWORD device) {
    return Guard<BOOL>(FALSE, [&] {
        const int error = tsl::output::SelectDevice(int(device));
        return error == BASS_OK ? Ok<BOOL>(TRUE) : Fail<BOOL>(error, FALSE);
    });
}

DWORD BASSDEF(BASS_GetDevice)(void) {
    const int d = tsl::output::CurrentDevice();
    return d < 0 || !tsl::output::FindDevice(d) ? Fail<DWORD>(BASS_ERROR_INIT, DWORD(-1)) : Ok<DWORD>(DWORD(d));
}

BOOL BASSDEF(BASS_GetInfo)(BASS_INFO* info) {
    return Guard<BOOL>(FALSE, [&] {
        if (!info) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
        const int error = tsl::output::GetInfo(*info);
        return error == BASS_OK ? Ok<BOOL>(TRUE) : Fail<BOOL>(error, FALSE);
    });
}

BOOL BASSDEF(BASS_GetDeviceInfo)(DWORD device, BASS_DEVICEINFO* info) {
    return Guard<BOOL>(FALSE, [&] {
        if (!info) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
        return tsl::output::DescribeDevice(device, *info) ? Ok<BOOL>(TRUE) : Fail<BOOL>(BASS_ERROR_DEVICE, FALSE);
    });
}

BOOL BASSDEF(BASS_ChannelPlay)(DWORD handle, BOOL restart) {
    return WithPlayback(handle, [&](tsl::Channel&, tsl::PlaybackState& p) { p.Play(restart != FALSE); });
}

BOOL BASSDEF(BASS_ChannelStop)(DWORD handle) {
    return Guard<BOOL>(FALSE, [&] {
        auto c = tsl::FindChannel(handle);
        if (!c) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
        if (auto p = tsl::output::ExistingPlaybackOf(*c)) p->Stop();
        return Ok<BOOL>(TRUE);
    });
}

// Renders on the calling thread until the playback buffer holds `length` ms
// (0: the whole buffer), whether or not the channel is playing yet.
BOOL BASSDEF(BASS_ChannelUpdate)(DWORD handle, DWORD length) {
    return WithPlayback(handle, [&](tsl::Channel& c, tsl::PlaybackState& p) {
        p.FillAhead(c, length ? length : UINT32_MAX / 1000);
    });
}

DWORD BASSDEF(BASS_ChannelIsActive)(DWORD handle) {
    return Guard<DWORD>(BASS_ACTIVE_STOPPED, [&] {
        auto c = tsl::FindChannel(handle);
        if (!c) return Fail<DWORD>(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
        if (c->flags & BASS_STREAM_DECODE) return Ok<DWORD>(Ended(*c) ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING);
        auto p = tsl::output::ExistingPlaybackOf(*c);
        return Ok<DWORD>(p ? p->Activity() : BASS_ACTIVE_STOPPED);
    });
}

DWORD BASSDEF(BASS_ChannelGetLevel)(DWORD handle) {
    return Guard<DWORD>(DWORD(-1), [&] {
        auto c = tsl::FindChannel(handle);
        if (!c) return Fail<DWORD>(BASS_ERROR_HANDLE, DWORD(-1));
        if (c->flags & BASS_STREAM_DECODE) return Fail<DWORD>(BASS_ERROR_DECODE, DWORD(-1));
        auto p = tsl::output::ExistingPlaybackOf(*c);
        if (!p || p->Activity() != BASS_ACTIVE_PLAYING) return Ok<DWORD>(0);
        return Ok<DWORD>(p->Level());
    });
}

QWORD BASSDEF(BASS_ChannelSeconds2Bytes)(DWORD handle, double pos) {
    auto c = tsl::FindChannel(handle);
    if (!c) return Fail<QWORD>(BASS_ERROR_HANDLE, QWORD(-1));
    if (!(pos >= 0) || pos > 1e9) return Fail<QWORD>(BASS_ERROR_ILLPARAM, QWORD(-1));
    // Whole frames only, so the result can be used as a read length.
    return Ok<QWORD>(QWORD(std::floor(pos * c->format.rate)) * c->format.FrameBytes());
}

double BASSDEF(BASS_ChannelBytes2Seconds)(DWORD handle, QWORD pos) {
    auto c = tsl::FindChannel(handle);
    if (!c) return Fail<double>(BASS_ERROR_HANDLE, -1.0);
    return Ok<double>(double(pos / c->format.FrameBytes()) / c->format.rate);
}

} // extern "C"
