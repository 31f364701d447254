// The BASSMIDI stream flags the synthesis options ask for. The converter adds
// and removes flags of its own (decoding, for one).
#pragma once

#include <windows.h>

struct StreamFlagOptions {
    bool hardwareMixer = true;
    bool disableMidiEffects = false;
    bool disableStereo = false;
    bool releaseOnlyLast = false;
    bool sincInterpolation = false;
    bool force8Bit = false;
    bool disableAsync = false;
};

DWORD ComputeStreamFlags(const StreamFlagOptions& options, DWORD add = 0, DWORD remove = 0);
// The same with the options of the settings store.
StreamFlagOptions StreamFlagOptionsFromSettings();
DWORD StreamFlagsFromSettings(DWORD add = 0, DWORD remove = 0);
