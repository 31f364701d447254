#include "synth/stream_flags.h"

#include <bass.h>
#include <bassmidi.h>

#include "core/settings.h"

DWORD ComputeStreamFlags(const StreamFlagOptions& o, DWORD add, DWORD remove) {
    DWORD flags = BASS_SAMPLE_FLOAT;
    if (!o.hardwareMixer) flags |= BASS_SAMPLE_SOFTWARE;
    if (o.disableMidiEffects) flags |= BASS_MIDI_NOFX;
    if (o.disableStereo) flags |= BASS_SAMPLE_MONO;
    if (o.releaseOnlyLast) flags |= BASS_MIDI_NOTEOFF1;
    if (o.sincInterpolation) flags |= BASS_MIDI_SINCINTER;
    if (o.force8Bit) flags |= BASS_SAMPLE_8BITS;
    if (!o.disableAsync) flags |= BASS_MIDI_ASYNC;
    return (flags | add) & ~remove;
}

StreamFlagOptions StreamFlagOptionsFromSettings() {
    StreamFlagOptions o;
    if (!g_Settings) return o;
    o.hardwareMixer = g_Settings->EnableHardwareMixer.Get() != 0;
    o.disableMidiEffects = g_Settings->DisableMidiEffects.Get() != 0;
    o.disableStereo = g_Settings->DisableStereo.Get() != 0;
    o.releaseOnlyLast = g_Settings->ReleaseOnlyLast.Get() != 0;
    o.sincInterpolation = g_Settings->SincInterpolatedMix.Get() != 0;
    o.force8Bit = g_Settings->Force8BitSamples.Get() != 0;
    o.disableAsync = g_Settings->DisableMidiEventsAsync.Get() != 0;
    return o;
}

DWORD StreamFlagsFromSettings(DWORD add, DWORD remove) {
    return ComputeStreamFlags(StreamFlagOptionsFromSettings(), add, remove);
}
