#include "core/settings_mixer.h"

#include "core/profile.h"

namespace {

constexpr const wchar_t* kSection = L"Mixer";

}  // namespace

void ReadMixerKeys(const std::wstring& file, const std::wstring& suffix, MixerKeys& keys)
{
    ParseMixerFlags(ProfileReadText(file, kSection, ProfileKey(L"ChannelMute", suffix), L"", kFlagsBufferChars),
                    keys.mute);
    ParseMixerFlags(ProfileReadText(file, kSection, ProfileKey(L"ChannelSolo", suffix), L"", kFlagsBufferChars),
                    keys.solo);
    ParseMixerVolumes(ProfileReadText(file, kSection, ProfileKey(L"ChannelVolume", suffix), kNeutralVolumeList,
                                      kVolumesBufferChars),
                      keys.volume);
    keys.master = ClampMasterVolume(static_cast<int32_t>(ProfileReadInt(file, kSection, ProfileKey(L"MasterVolume", suffix), 100)));
}

void WriteMixerKeys(const std::wstring& file, const std::wstring& suffix, const MixerKeys& keys)
{
    ProfileWriteText(file, kSection, ProfileKey(L"ChannelMute", suffix), FormatMixerFlags(keys.mute).c_str());
    ProfileWriteText(file, kSection, ProfileKey(L"ChannelSolo", suffix), FormatMixerFlags(keys.solo).c_str());
    ProfileWriteText(file, kSection, ProfileKey(L"ChannelVolume", suffix), FormatMixerVolumes(keys.volume).c_str());
    ProfileWriteText(file, kSection, ProfileKey(L"MasterVolume", suffix), std::to_wstring(keys.master).c_str());
}
