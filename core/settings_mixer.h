// The four mixer keys of one mixer owner (a port or the converter), in section
// [Mixer] of the configuration file with the owner's key suffix, or of a
// mixer-state file without suffix. The mixer code copies its state in and out.
#pragma once

#include <windows.h>

#include <string>

constexpr int kMixerChannels = 16;

struct MixerKeys {
    bool mute[kMixerChannels] = {};
    bool solo[kMixerChannels] = {};
    DWORD volume[kMixerChannels] = {100, 100, 100, 100, 100, 100, 100, 100,
                                    100, 100, 100, 100, 100, 100, 100, 100};
    DWORD master = 100;
};

// Reads into `keys`. Mute, solo and master are always replaced; the volumes only
// as far as the stored list goes (the channels after it keep what `keys` held).
void ReadMixerKeys(const std::wstring& file, const std::wstring& suffix, MixerKeys& keys);
// Writes the four keys in their order.
void WriteMixerKeys(const std::wstring& file, const std::wstring& suffix, const MixerKeys& keys);
