// The SoundFont editor: a modal dialog over one soundfont entry (preset,
// bank, volume, preloading, XG drums) that also shows what the file contains.
#pragma once

#include <windows.h>

#include <bassmidi.h>

#include <string>

#include "core/settings_soundfont.h"

// Runs the editor on a copy of `entry`. True when OK was pressed and something
// differs (ports, bank, preset, volume, preload, XG drums, or the path ignoring
// letter case); `entry` then takes the edited values, its file size refreshed.
bool EditSoundFont(SoundFontEntry& entry, HWND parent);

// The editor's ranges: the preset, and the bank, whose meaning depends on the
// preset (with -1, all presets, it is an offset added to the font's banks).
constexpr int kPresetMin = -1, kPresetMax = 127;
constexpr int kVolumeMin = 0, kVolumeMax = 500;
inline int BankMin(int preset) { return preset == -1 ? -128 : 0; }
inline int BankMax(int preset) { return preset == -1 ? 255 : 128; }

// The information text: name, copyright, comment, sample data, and every
// preset as "bank:preset = name". `font` is used when loaded (non-zero),
// otherwise the file is opened for the purpose. Empty when it cannot be read.
std::wstring SoundFontInfoText(const std::wstring& path, HSOUNDFONT font);
