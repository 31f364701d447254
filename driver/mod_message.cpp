// The MIDI output entry point winmm calls for every midiOut* function on one
// of the ports.
#include "driver/client_ports.h"
#include "driver/driver_config.h"
#include "driver/exports.h"
#include "driver/shared_channel.h"

#include <windows.h>
// mmddk.h builds on the declarations of the other two.
#include <mmsystem.h>
#include <mmreg.h>
#include <mmddk.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <cwchar>
#include <memory>

extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message, DWORD_PTR user,
                                      DWORD_PTR param1, DWORD_PTR param2);

namespace {

// Larger long messages are refused rather than copied: no device takes
// SysEx dumps of this size in one message.
constexpr DWORD kMaxLongMessage = 1u << 20;

// One midiOutOpen: what winmm needs to hear back about.
struct OpenPort {
    DWORD port;
    DWORD_PTR callback;
    DWORD_PTR user;
    HMIDIOUT handle;
    DWORD callbackFlags;
};

void Notify(const OpenPort& open, UINT message, DWORD_PTR param1 = 0)
{
    DriverCallback(open.callback, open.callbackFlags, reinterpret_cast<HDRVR>(open.handle), message, open.user, param1, 0);
}

template <class Caps>
void FillCaps(Caps& caps, DWORD port)
{
    caps = {};
    caps.wMid = MM_UNMAPPED;
    caps.wPid = MM_PID_UNMAPPED;
    caps.vDriverVersion = 0x020E;  // 2.14
    caps.wTechnology = MOD_SWSYNTH;
    caps.wVoices = 0;
    caps.wNotes = 0xFFFF;
    caps.wChannelMask = 0xFFFF;
    caps.dwSupport = 0;  // volume is kept, not applied: no claim of volume control
    if constexpr (sizeof caps.szPname[0] == sizeof(wchar_t))
        std::swprintf(caps.szPname, std::size(caps.szPname), L"Tessaline #%lu", port + 1);
    else
        std::snprintf(caps.szPname, std::size(caps.szPname), "Tessaline #%lu", port + 1);
}

DWORD GetDevCaps(DWORD port, DWORD_PTR buffer, DWORD_PTR size)
{
    if (port >= ConfiguredPortCount())
        return MMSYSERR_BADDEVICEID;
    if (!buffer)
        return MMSYSERR_INVALPARAM;
    // The structure's size tells the wide form from the 8-bit one.
    if (size >= sizeof(MIDIOUTCAPSW)) {
        MIDIOUTCAPSW caps;
        FillCaps(caps, port);
        std::memcpy(reinterpret_cast<void*>(buffer), &caps, sizeof caps);
    } else if (size >= sizeof(MIDIOUTCAPSA)) {
        MIDIOUTCAPSA caps;
        FillCaps(caps, port);
        std::memcpy(reinterpret_cast<void*>(buffer), &caps, sizeof caps);
    } else {
        return MMSYSERR_INVALPARAM;
    }
    return MMSYSERR_NOERROR;
}

DWORD Open(DWORD port, DWORD_PTR* user, const MIDIOPENDESC* desc, DWORD flags)
{
    if (!user || !desc)
        return MMSYSERR_INVALPARAM;
    if (port >= ConfiguredPortCount())
        return MMSYSERR_BADDEVICEID;
    if (CurrentProgramBlacklisted() || !Channel().Connect())
        return MMSYSERR_NOTENABLED;
    auto* open = new (std::nothrow) OpenPort{port, desc->dwCallback, desc->dwInstance, reinterpret_cast<HMIDIOUT>(desc->hMidi),
                                            static_cast<DWORD>(HIWORD(flags) & DCB_TYPEMASK)};
    if (!open)
        return MMSYSERR_NOMEM;
    if (!OpenClientPort(port)) {
        delete open;
        return MMSYSERR_NOTENABLED;
    }
    *user = reinterpret_cast<DWORD_PTR>(open);
    Notify(*open, MOM_OPEN);
    return MMSYSERR_NOERROR;
}

DWORD Close(OpenPort* open)
{
    // Another thread of the program stuck on the port: the handle stays
    // open, so the program may close it again.
    if (!CloseClientPort(open->port))
        return MIDIERR_NOTREADY;
    Notify(*open, MOM_CLOSE);
    delete open;
    return MMSYSERR_NOERROR;
}

MIDIHDR* Header(DWORD_PTR param1, DWORD_PTR size)
{
    auto* header = reinterpret_cast<MIDIHDR*>(param1);
    return header && size >= offsetof(MIDIHDR, dwOffset) ? header : nullptr;
}

DWORD Prepare(MIDIHDR* header)
{
    if (!header || (!header->lpData && header->dwBufferLength))
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

DWORD Unprepare(MIDIHDR* header)
{
    if (!header)
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

DWORD LongData(const OpenPort& open, MIDIHDR* header)
{
    // The header is checked and the client's bytes copied before any lock is
    // taken: a bad buffer faults here, in the client's own thread, with
    // nothing held that other threads or programs wait for.
    if (!header || (!header->lpData && header->dwBufferLength))
        return MMSYSERR_INVALPARAM;
    if (header->dwBufferLength > kMaxLongMessage)
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    const DWORD length = header->dwBufferLength;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[length ? length : 1]);
    if (!bytes)
        return MMSYSERR_NOMEM;
    if (length)
        std::memcpy(bytes.get(), header->lpData, length);
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
    // Written before returning, so the buffer goes back at once.
    const bool sent = SendLongMessage(open.port, bytes.get(), length);
    header->dwFlags &= ~MHDR_INQUEUE;
    if (!sent)
        return MIDIERR_NOTREADY;
    header->dwFlags |= MHDR_DONE;
    Notify(open, MOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    return MMSYSERR_NOERROR;
}

DWORD Send(const OpenPort& open, DWORD type, DWORD param1 = 0, DWORD param2 = 0)
{
    CRingWriter* writer = Channel().Writer();
    return writer && writer->Write(open.port, type, param1, param2) ? MMSYSERR_NOERROR : MIDIERR_NOTREADY;
}

}  // namespace

extern "C" DWORD WINAPI modMessage(UINT device, UINT message, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2)
{
    auto* open = reinterpret_cast<OpenPort*>(user);
    switch (message) {
    case MODM_DATA:
        return open ? Send(*open, ring::kShortMessage, static_cast<DWORD>(param1), static_cast<DWORD>(param2)) : MMSYSERR_INVALHANDLE;
    case MODM_LONGDATA:
        return open ? LongData(*open, Header(param1, param2)) : MMSYSERR_INVALHANDLE;
    case MODM_GETNUMDEVS:
        return ConfiguredPortCount();
    case MODM_GETDEVCAPS:
        return GetDevCaps(device, param1, param2);
    case MODM_OPEN:
        return Open(device, reinterpret_cast<DWORD_PTR*>(user), reinterpret_cast<const MIDIOPENDESC*>(param1), static_cast<DWORD>(param2));
    case MODM_CLOSE:
        return open ? Close(open) : MMSYSERR_INVALHANDLE;
    case MODM_PREPARE:
        return Prepare(Header(param1, param2));
    case MODM_UNPREPARE:
        return Unprepare(Header(param1, param2));
    case MODM_RESET:
        return open ? Send(*open, ring::kReset) : MMSYSERR_INVALHANDLE;
    case MODM_GETVOLUME:
        if (!param1)
            return MMSYSERR_INVALPARAM;
        *reinterpret_cast<DWORD*>(param1) = PortVolume(open ? open->port : device);
        return MMSYSERR_NOERROR;
    case MODM_SETVOLUME:
        SetPortVolume(open ? open->port : device, static_cast<DWORD>(param1));
        return MMSYSERR_NOERROR;
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}
