// The four mixer keys of one mixer owner (a port or the converter), in section
// [Mixer] of the configuration file with the owner's key suffix. The mixer
// code copies its state in and out; the rules of the values live with the
// mixer-state file format, so both read them alike.
#pragma once

#include <string>

#include "mixer/mixer_state_format.h"

// Reads into `keys`. Mute, solo and master are always replaced; the volumes only
// as far as the stored list goes (the channels after it keep what `keys` held).
void ReadMixerKeys(const std::wstring& file, const std::wstring& suffix, MixerKeys& keys);
// Writes the four keys in their order.
void WriteMixerKeys(const std::wstring& file, const std::wstring& suffix, const MixerKeys& keys);
