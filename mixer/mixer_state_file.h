// Mixer-state files (.tslms) on disk: read from their bytes by the portable
// parser, written whole through a temporary file so a failed save never costs
// the user the file that was there.
#pragma once

#include <windows.h>

#include <string>

#include "mixer/mixer_state_format.h"

// Mixer-state files bigger than this are not mixer-state files.
constexpr ULONGLONG kMaxMixerStateFileBytes = 1024 * 1024;

// Reads `path` into `keys` by the rules of the format. A file that does not
// exist reads as one without keys (the neutral state). Any other failure
// leaves `keys` untouched and returns the system error code.
DWORD ReadMixerStateFile(const std::wstring& path, MixerKeys& keys);
// Writes the four keys, replacing the file as a whole; the error code of a failure.
DWORD WriteMixerStateFile(const std::wstring& path, const MixerKeys& keys);
