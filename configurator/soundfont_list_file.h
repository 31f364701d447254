// Soundfont-list files on disk: the SoundFonts tab's import and export.
#pragma once

#include <windows.h>

#include <string>

#include "core/settings_soundfont.h"

// Reads the list file at `path` into `list` (file sizes taken from the file
// system). `list` is replaced only when the whole file was read; otherwise it
// stays as it was and `error` says why, for the user.
bool ImportSoundFontList(const std::wstring& path, DWORD portCount, SoundFontList& list, std::wstring& error);

// Writes `list` as the [SoundFonts] section of the file at `path`, keeping any
// other section the file holds. The file is written to a temporary file first
// and then put in place, so a failure leaves the old file whole; `error` says why.
bool ExportSoundFontList(const std::wstring& path, const SoundFontList& list, DWORD portCount, std::wstring& error);
