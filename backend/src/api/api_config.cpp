// BASS_SetConfig / BASS_GetConfig / BASS_ErrorGetCode.
#include "bass.h"
#include "bassmidi.h"
#include "core/config.h"
#include "core/registry.h"
#include "synth/render_pool.h"

extern "C" {

BOOL BASSDEF(BASS_SetConfig)(DWORD option, DWORD value) {
    if (!tsl::IsKnownConfigOption(option)) {
        tsl::SetError(BASS_ERROR_ILLTYPE);
        return FALSE;
    }
    if (option == BASS_CONFIG_MIDI_VOICES) {
        // Out-of-range limits are clamped rather than refused, so a stale
        // setting still yields a working synthesizer.
        if (value < 16) value = 16;
        if (value > 100000) value = 100000;
    }
    if (option == BASS_CONFIG_MIDI_THREADS && value > tsl::RenderPool::kMaxThreads) value = tsl::RenderPool::kMaxThreads;
    tsl::SetConfigValue(option, value);
    tsl::SetError(BASS_OK);
    return TRUE;
}

DWORD BASSDEF(BASS_GetConfig)(DWORD option) {
    if (!tsl::IsKnownConfigOption(option)) {
        tsl::SetError(BASS_ERROR_ILLTYPE);
        return static_cast<DWORD>(-1);
    }
    tsl::SetError(BASS_OK);
    return tsl::GetConfigValue(option);
}

int BASSDEF(BASS_ErrorGetCode)(void) { return tsl::GetError(); }

} // extern "C"
