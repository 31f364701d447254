#include "core/settings_soundfont.h"

#include <shlwapi.h>

#include "core/profile.h"

namespace {

constexpr const wchar_t* kSection = L"SoundFonts";

std::wstring EntryKey(size_t number) { return L"sf" + std::to_wstring(number); }

std::wstring OptionKey(size_t number, const wchar_t* option)
{
    return EntryKey(number) + L"." + option;
}

std::wstring FolderOf(const std::wstring& file)
{
    size_t slash = file.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
}

// A path written relative to the list file means relative to the list file's
// folder, not to whatever the current folder happens to be.
std::wstring AbsolutePath(const std::wstring& path, const std::wstring& listFile)
{
    if (!PathIsRelativeW(path.c_str()))
        return path;
    std::wstring combined = FolderOf(listFile);
    if (!combined.empty())
        combined += L'\\';
    combined += path;
    DWORD needed = GetFullPathNameW(combined.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return combined;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(combined.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return combined;
    full.resize(length);
    return full;
}

template <class T>
void WriteOption(const std::wstring& file, size_t number, const wchar_t* option, T value)
{
    ProfileWriteText(file, kSection, OptionKey(number, option), std::to_wstring(value).c_str());
}

}  // namespace

DWORD PortMask(DWORD portCount)
{
    return portCount >= 32 ? 0xFFFFFFFFu : (1u << portCount) - 1;
}

uint64_t SoundFontFileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void ReadSoundFontList(const std::wstring& file, DWORD portCount, SoundFontList& list)
{
    list.clear();
    const DWORD mask = PortMask(portCount);
    for (size_t n = 1;; ++n) {
        std::wstring value = ProfileReadText(file, kSection, EntryKey(n), L"", MAX_PATH);
        if (value.empty())
            break;
        SoundFontEntry entry;
        if (value[0] == L'*') {
            // The older way of keeping an entry disabled on every port.
            entry.FileName = value.substr(1);
        } else {
            entry.FileName = AbsolutePath(value, file);
            auto option = [&](const wchar_t* name, INT def) {
                return ProfileReadInt(file, kSection, OptionKey(n, name), def);
            };
            entry.EnabledPorts = option(L"enabled", 0) & mask;
            entry.Bank = static_cast<int>(option(L"bank", 0));
            entry.Preset = static_cast<int>(option(L"preset", -1));
            entry.Preload = option(L"preload", 1);
            entry.Volume = static_cast<int>(option(L"volume", 100));
            entry.XgDrums = option(L"xgdrums", 0);
        }
        entry.FileSize = SoundFontFileSize(entry.FileName);
        list.push_back(std::move(entry));
    }
}

void WriteSoundFontList(const std::wstring& file, DWORD portCount, SoundFontList& list)
{
    ProfileRemoveSection(file, kSection);
    const DWORD mask = PortMask(portCount);
    size_t n = 0;
    for (SoundFontEntry& entry : list) {
        ++n;
        ProfileWriteText(file, kSection, EntryKey(n), entry.FileName.c_str());
        entry.EnabledPorts &= mask;
        if (entry.EnabledPorts != 0)
            WriteOption(file, n, L"enabled", entry.EnabledPorts);
        if (entry.Bank != 0)
            WriteOption(file, n, L"bank", entry.Bank);
        if (entry.Preset != -1)
            WriteOption(file, n, L"preset", entry.Preset);
        if (entry.Preload == 0)
            WriteOption(file, n, L"preload", 0);
        if (entry.Volume != 100)
            WriteOption(file, n, L"volume", entry.Volume);
        if (entry.XgDrums != 0)
            WriteOption(file, n, L"xgdrums", entry.XgDrums);
    }
}
