#include "mixer/mixer_owner.h"

#include "core/settings.h"

namespace {

DWORD SoloRatio() { return g_Settings ? g_Settings->SoloRatio.Get() : 20; }

DWORD LimitVolume(DWORD value) { return value > 100 ? 100 : value; }

}  // namespace

IMixerOwner::IMixerOwner() = default;

bool IMixerOwner::AnySolo() const {
    for (DWORD solo : ChannelSolo) {
        if (solo) return true;
    }
    return false;
}

DWORD IMixerOwner::GetEffectiveVolume(DWORD channel) const {
    if (channel >= kAllChannels) return 100;
    if (ChannelMute[channel]) return 0;
    const DWORD level = ChannelVolume[channel] * MasterVolume / 100;
    if (ChannelSolo[channel] || !AnySolo()) return level;
    return SoloRatio() * level / 100;
}

bool IMixerOwner::IsNeutral() const {
    if (MasterVolume != 100) return false;
    for (int c = 0; c < kMixerChannels; ++c) {
        if (ChannelVolume[c] != 100 || ChannelMute[c] || ChannelSolo[c]) return false;
    }
    return true;
}

void IMixerOwner::SetMute(bool value, DWORD channel) {
    bool soloCleared = false;
    auto mute = [&](DWORD c) {
        ChannelMute[c] = value;
        if (value && ChannelSolo[c]) {
            ChannelSolo[c] = 0;
            soloCleared = true;
        }
    };
    if (channel >= kAllChannels) {
        for (DWORD c = 0; c < kAllChannels; ++c) mute(c);
    } else {
        mute(channel);
    }
    ApplyMixLevel(soloCleared ? kAllChannels : channel);
}

void IMixerOwner::SetSolo(bool value, DWORD channel) {
    auto solo = [&](DWORD c) {
        ChannelSolo[c] = value;
        if (value) ChannelMute[c] = 0;
    };
    if (channel >= kAllChannels) {
        for (DWORD c = 0; c < kAllChannels; ++c) solo(c);
    } else {
        solo(channel);
    }
    // A solo changes the level of every other channel.
    ApplyMixLevel(kAllChannels);
}

void IMixerOwner::SetVolume(DWORD value, DWORD channel) {
    value = LimitVolume(value);
    if (channel >= kAllChannels) {
        for (DWORD& v : ChannelVolume) v = value;
    } else {
        ChannelVolume[channel] = value;
    }
    ApplyMixLevel(channel >= kAllChannels ? kAllChannels : channel);
}

void IMixerOwner::SetMasterVolume(DWORD value) {
    MasterVolume = LimitVolume(value);
    ApplyMixLevel(kAllChannels);
}

void IMixerOwner::MuteAll(bool value) {
    for (DWORD c = 0; c < kAllChannels; ++c) SetMute(value, c);
}

void IMixerOwner::SoloAll(bool value) {
    for (DWORD c = 0; c < kAllChannels; ++c) {
        ChannelSolo[c] = value;
        if (value) ChannelMute[c] = 0;
    }
    ApplyMixLevel(kAllChannels);
}

void IMixerOwner::ResetMixer() {
    for (DWORD c = 0; c < kAllChannels; ++c) {
        ChannelMute[c] = 0;
        ApplyMixLevel(c);
        ChannelSolo[c] = 0;
        ApplyMixLevel(kAllChannels);
        ChannelVolume[c] = 100;
        ApplyMixLevel(c);
    }
    MasterVolume = 100;
    ApplyMixLevel(kAllChannels);
}

void IMixerOwner::CopyMixerState(const IMixerOwner& other) {
    if (&other == this) return;
    MasterVolume = other.MasterVolume;
    for (int c = 0; c < kMixerChannels; ++c) {
        ChannelVolume[c] = other.ChannelVolume[c];
        ChannelMute[c] = other.ChannelMute[c];
        ChannelSolo[c] = other.ChannelSolo[c];
    }
    ApplyMixLevel(kAllChannels);
}

DWORD IMixerOwner::LoadMixerState(const wchar_t* file) {
    if (!g_Settings) return ERROR_INVALID_FUNCTION;
    const bool toConfig = file == nullptr || *file == L'\0';
    MixerKeys keys;
    for (int c = 0; c < kMixerChannels; ++c) keys.volume[c] = ChannelVolume[c];
    const DWORD error = g_Settings->LoadMixerKeys(keys, toConfig ? Label : std::wstring(),
                                                  toConfig ? std::wstring() : std::wstring(file));
    if (error != ERROR_SUCCESS) return error;
    for (int c = 0; c < kMixerChannels; ++c) {
        ChannelMute[c] = keys.mute[c];
        ChannelSolo[c] = keys.solo[c];
        ChannelVolume[c] = LimitVolume(keys.volume[c]);
    }
    MasterVolume = LimitVolume(keys.master);
    return ERROR_SUCCESS;
}

DWORD IMixerOwner::SaveMixerState(const wchar_t* file) {
    if (!g_Settings) return ERROR_INVALID_FUNCTION;
    const bool toConfig = file == nullptr || *file == L'\0';
    MixerKeys keys;
    for (int c = 0; c < kMixerChannels; ++c) {
        keys.mute[c] = ChannelMute[c] != 0;
        keys.solo[c] = ChannelSolo[c] != 0;
        keys.volume[c] = ChannelVolume[c];
    }
    keys.master = MasterVolume;
    return g_Settings->SaveMixerKeys(keys, toConfig ? Label : std::wstring(),
                                     toConfig ? std::wstring() : std::wstring(file));
}

void IMixerOwner::RefreshMixerStrips(DWORD channel) const {
    if (HWND window = MixerWindowHandle.load(std::memory_order_acquire)) {
        ::PostMessageW(window, WM_TSL_MIXER_REFRESH, channel > kAllChannels ? kAllChannels : channel, 0);
    }
}

void IMixerOwner::SetMixerWindow(CMixerDialog* dialog, HWND window) {
    MixerWindow = dialog;
    MixerWindowHandle.store(window, std::memory_order_release);
}
