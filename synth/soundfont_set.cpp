#include "synth/soundfont_set.h"

#include <atomic>
#include <cwctype>

#include "core/bass_error.h"
#include "core/language.h"
#include "core/message_box.h"

namespace {

std::atomic<uint64_t (*)()> g_memoryHook{nullptr};

uint64_t AvailableMemory() {
    if (auto hook = g_memoryHook.load()) return hook();
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!::GlobalMemoryStatusEx(&status)) return 0;
    // What limits a preload is the process's own address space (the 32-bit
    // build) as much as the machine's memory: take the smaller.
    return status.ullAvailVirtual < status.ullAvailPhys + status.ullAvailPageFile
               ? status.ullAvailVirtual
               : status.ullAvailPhys + status.ullAvailPageFile;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring LowerAnsi(const char* text) {
    std::wstring out;
    for (; text && *text; ++text) out.push_back(static_cast<wchar_t>(std::towlower(static_cast<unsigned char>(*text))));
    return out;
}

void ShowFontError(const wchar_t* key, int code, const std::wstring& path, BassOperation op) {
    ShowMessage(GetText(key, std::to_wstring(code), path, BassErrorText(code, op)), MB_OK | MB_ICONERROR | MB_TOPMOST);
}

// 0 when the font's samples are in memory, else the error code (1: not enough memory).
int Preload(HSOUNDFONT font, const SoundFontEntry& entry) {
    BASS_MIDI_FONTINFO info{};
    BASS_MIDI_FontGetInfo(font, &info);
    if (!PreloadFitsMemory(AvailableMemory(), info.samsize)) return 1;
    if (BASS_MIDI_FontLoad(font, -1, -1)) return 0;
    const int code = BASS_ErrorGetCode();
    BASS_MIDI_FontUnload(font, entry.Preset, entry.Bank);
    return code;
}

}  // namespace

bool PreloadFitsMemory(uint64_t availableBytes, uint64_t sampleBytes) {
    return availableBytes >= sampleBytes && availableBytes - sampleBytes >= kPreloadHeadroom;
}

std::vector<BASS_MIDI_FONT> FontsForPort(const std::vector<LoadedFont>& fonts, DWORD port) {
    std::vector<BASS_MIDI_FONT> out;
    if (port >= 32) return out;
    for (auto it = fonts.rbegin(); it != fonts.rend(); ++it) {
        if (it->font != 0 && (it->ports & (1u << port))) out.push_back(BASS_MIDI_FONT{it->font, it->preset, it->bank});
    }
    return out;
}

std::optional<size_t> FindDuplicateSoundFont(const SoundFontList& list) {
    for (size_t later = 1; later < list.size(); ++later) {
        const SoundFontEntry& b = list[later];
        if (b.EnabledPorts == 0) continue;
        const std::wstring bPath = Lower(b.FileName);
        for (size_t earlier = 0; earlier < later; ++earlier) {
            const SoundFontEntry& a = list[earlier];
            if (a.EnabledPorts != 0 && a.Bank == b.Bank && a.Preset == b.Preset && Lower(a.FileName) == bPath) return later;
        }
    }
    return std::nullopt;
}

bool AllPortsHaveSoundFonts(const SoundFontList& list, DWORD portCount) {
    for (DWORD p = 0; p < portCount && p < 32; ++p) {
        bool found = false;
        for (const SoundFontEntry& e : list) {
            if (e.EnabledPorts & (1u << p)) {
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

bool LooksLikeXgDrumKits(const char* preset0Name, const char* preset8Name) {
    if (!preset0Name || !preset8Name) return false;
    const std::wstring standard = LowerAnsi(preset0Name);
    const std::wstring room = LowerAnsi(preset8Name);
    return standard.find(L"standard") != std::wstring::npos && room.find(L"room") != std::wstring::npos &&
           standard.find(L"gs") == std::wstring::npos && room.find(L"gs") == std::wstring::npos;
}

bool DetectXgDrums(const std::wstring& path) {
    const HSOUNDFONT font = BASS_MIDI_FontInit(path.c_str(), BASS_UNICODE);
    if (!font) return false;
    const bool xg = LooksLikeXgDrumKits(BASS_MIDI_FontGetPreset(font, 0, 127), BASS_MIDI_FontGetPreset(font, 8, 127));
    BASS_MIDI_FontFree(font);
    return xg;
}

bool SoundFontSet::Load(SoundFontList& list, void (*save)()) {
    std::vector<LoadedFont> loaded;
    bool changed = false;
    for (SoundFontEntry& entry : list) {
        entry.Font = 0;
        if (entry.EnabledPorts == 0) continue;
        const HSOUNDFONT font =
            BASS_MIDI_FontInit(entry.FileName.c_str(), BASS_UNICODE | (entry.XgDrums ? BASS_MIDI_FONT_XGDRUMS : 0));
        if (!font) {
            ShowFontError(L"err.sfLoad", BASS_ErrorGetCode(), entry.FileName, BassOpFontLoad);
            entry.EnabledPorts = 0;
            changed = true;
            if (save) save();
            continue;
        }
        BASS_MIDI_FontSetVolume(font, static_cast<float>(entry.Volume / 100.0));
        if (entry.Preload) {
            if (const int code = Preload(font, entry)) {
                ShowFontError(L"err.sfPreload", code, entry.FileName, BassOpPresetLoad);
                entry.Preload = 0;
                changed = true;
            }
        }
        entry.Font = font;
        loaded.push_back(LoadedFont{font, entry.Preset, entry.Bank, entry.EnabledPorts});
        if (changed && save) save();
    }
    ExclusiveGuard guard(m_lock);
    m_fonts = std::move(loaded);
    return changed;
}

void SoundFontSet::Free(SoundFontList& list) {
    std::vector<LoadedFont> fonts;
    {
        ExclusiveGuard guard(m_lock);
        fonts.swap(m_fonts);
    }
    for (const LoadedFont& f : fonts) BASS_MIDI_FontFree(f.font);
    for (SoundFontEntry& entry : list) entry.Font = 0;
}

DWORD SoundFontSet::Attach(HSTREAM stream, DWORD port) {
    std::vector<BASS_MIDI_FONT> fonts;
    {
        SharedGuard guard(m_lock);
        fonts = FontsForPort(m_fonts, port);
    }
    if (fonts.empty()) {
        BASS_MIDI_StreamSetFonts(stream, nullptr, 0);
        return 0;
    }
    BASS_MIDI_StreamSetFonts(stream, fonts.data(), static_cast<DWORD>(fonts.size()));
    return static_cast<DWORD>(fonts.size());
}

std::vector<LoadedFont> SoundFontSet::Snapshot() {
    SharedGuard guard(m_lock);
    return m_fonts;
}

void SoundFontSet::SetAvailableMemoryHook(uint64_t (*hook)()) { g_memoryHook.store(hook); }
