// One row of the soundfont list: a soundfont file and how the ports use it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct SoundFontEntry {
    std::wstring FileName;   // absolute path
    uint64_t FileSize = 0;   // bytes, taken when the entry is read; 0 when the file cannot be examined
    DWORD EnabledPorts = 0;  // bit p = used by port p; kept within the existing ports
    int Bank = 0;
    int Preset = -1;         // -1: all presets
    int Volume = 100;        // percent
    DWORD Preload = 1;
    DWORD XgDrums = 0;
    DWORD Font = 0;          // loaded soundfont handle (HSOUNDFONT), owned by the synth engine; 0 when not loaded
};

using SoundFontList = std::vector<SoundFontEntry>;

// The bits of the first `portCount` ports.
DWORD PortMask(DWORD portCount);

// Size of a file in bytes, 0 when it cannot be examined.
uint64_t SoundFontFileSize(const std::wstring& path);

// The [SoundFonts] section of a profile file ("sf1", "sf1.enabled", ...). A gap in
// the numbering ends the list; relative paths are taken from the file's folder.
void ReadSoundFontList(const std::wstring& file, DWORD portCount, SoundFontList& list);
// Replaces the whole section; masks each entry to the existing ports (the entry
// itself too) and writes only the options that differ from their defaults.
void WriteSoundFontList(const std::wstring& file, DWORD portCount, SoundFontList& list);
