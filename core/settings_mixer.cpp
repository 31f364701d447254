#include "core/settings_mixer.h"

#include <cwchar>

#include "core/profile.h"

namespace {

constexpr const wchar_t* kSection = L"Mixer";
constexpr const wchar_t* kNeutralVolumes = L"100;100;100;100;100;100;100;100;100;100;100;100;100;100;100;100";

void ReadFlags(const std::wstring& file, const std::wstring& key, bool (&flags)[kMixerChannels])
{
    std::wstring text = ProfileReadText(file, kSection, key, L"", 34);
    // Anything but exactly one character per channel is not trusted at all.
    bool valid = text.size() == kMixerChannels;
    for (int c = 0; c < kMixerChannels; ++c)
        flags[c] = valid && text[c] != L'0';
}

std::wstring FormatFlags(const bool (&flags)[kMixerChannels])
{
    std::wstring text;
    for (bool flag : flags)
        text += flag ? L'1' : L'0';
    return text;
}

void ReadVolumes(const std::wstring& file, const std::wstring& key, DWORD (&volume)[kMixerChannels])
{
    std::wstring text = ProfileReadText(file, kSection, key, kNeutralVolumes, 80);
    for (wchar_t& ch : text)
        if (ch == L';')
            ch = L' ';
    const wchar_t* p = text.c_str();
    for (int c = 0; c < kMixerChannels; ++c) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        // Only digits, optionally signed, make a number; the first word that is
        // not one ends the list.
        const wchar_t* digits = (*p == L'-' || *p == L'+') ? p + 1 : p;
        if (*digits < L'0' || *digits > L'9')
            break;
        wchar_t* end = nullptr;
        unsigned long value = wcstoul(p, &end, 10);  // "-5" wraps to a huge value, hence 100
        volume[c] = value > 100 ? 100 : static_cast<DWORD>(value);
        p = end;
    }
}

}  // namespace

void ReadMixerKeys(const std::wstring& file, const std::wstring& suffix, MixerKeys& keys)
{
    ReadFlags(file, ProfileKey(L"ChannelMute", suffix), keys.mute);
    ReadFlags(file, ProfileKey(L"ChannelSolo", suffix), keys.solo);
    ReadVolumes(file, ProfileKey(L"ChannelVolume", suffix), keys.volume);
    INT master = static_cast<INT>(ProfileReadInt(file, kSection, ProfileKey(L"MasterVolume", suffix), 100));
    keys.master = master < 0 ? 0 : master > 100 ? 100 : static_cast<DWORD>(master);
}

void WriteMixerKeys(const std::wstring& file, const std::wstring& suffix, const MixerKeys& keys)
{
    ProfileWriteText(file, kSection, ProfileKey(L"ChannelMute", suffix), FormatFlags(keys.mute).c_str());
    ProfileWriteText(file, kSection, ProfileKey(L"ChannelSolo", suffix), FormatFlags(keys.solo).c_str());
    std::wstring volumes;
    for (int c = 0; c < kMixerChannels; ++c) {
        if (c)
            volumes += L';';
        volumes += std::to_wstring(keys.volume[c] > 100 ? 100 : keys.volume[c]);
    }
    ProfileWriteText(file, kSection, ProfileKey(L"ChannelVolume", suffix), volumes.c_str());
    ProfileWriteText(file, kSection, ProfileKey(L"MasterVolume", suffix), std::to_wstring(keys.master).c_str());
}
