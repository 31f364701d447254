// The soundfonts of the list in the settings, loaded once and shared by every
// stream of every port; each port's streams get the entries enabled for it.
//
// The engine loads and frees them on the main thread; streams are created on
// the listen thread too, so attaching reads a snapshot of the loaded fonts
// (handle, preset, bank, ports) under its own lock, never the settings' list.
#pragma once

#include <windows.h>

#include <bassmidi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/settings_soundfont.h"
#include "synth/srw_lock.h"

struct LoadedFont {
    HSOUNDFONT font = 0;
    int preset = -1;
    int bank = 0;
    DWORD ports = 0;
};

// Memory headroom a preload must leave: the sample data plus 100 MiB.
constexpr uint64_t kPreloadHeadroom = 100ull * 1024 * 1024;
bool PreloadFitsMemory(uint64_t availableBytes, uint64_t sampleBytes);

// The fonts enabled for `port`, last list entry first (BASSMIDI searches the
// array from its start, so the list's later entries take precedence).
std::vector<BASS_MIDI_FONT> FontsForPort(const std::vector<LoadedFont>& fonts, DWORD port);

// The later of the first two enabled entries with the same bank, preset and
// path (letter case ignored), or nothing.
std::optional<size_t> FindDuplicateSoundFont(const SoundFontList& list);

// Whether ports 0 .. portCount-1 each have at least one enabled entry.
bool AllPortsHaveSoundFonts(const SoundFontList& list, DWORD portCount);

// Whether the file's drum kits look like XG ones (bank 127: preset 0 a
// "standard" kit, preset 8 a "room" kit, neither of them a GS kit).
bool DetectXgDrums(const std::wstring& path);
// The rule on the two preset names (null: the preset does not exist).
bool LooksLikeXgDrumKits(const char* preset0Name, const char* preset8Name);

class SoundFontSet {
public:
    SoundFontSet() = default;
    SoundFontSet(const SoundFontSet&) = delete;
    SoundFontSet& operator=(const SoundFontSet&) = delete;

    // Loads every enabled entry of `list`, sets its Font handle, reports
    // failures (disabling the entry, or switching its preload off). Returns
    // true when an entry was changed; `save` is then called after each
    // entry from the first failure on, so the change persists.
    bool Load(SoundFontList& list, void (*save)());
    // Frees the fonts and clears the entries' handles (streams detached by the caller).
    void Free(SoundFontList& list);
    // BASS_MIDI_StreamSetFonts with the fonts enabled for `port`; their number.
    DWORD Attach(HSTREAM stream, DWORD port);
    std::vector<LoadedFont> Snapshot();

    // Tests: what "available memory" reads as (null: GlobalMemoryStatusEx).
    static void SetAvailableMemoryHook(uint64_t (*hook)());

private:
    SrwLock m_lock;
    std::vector<LoadedFont> m_fonts;
};
