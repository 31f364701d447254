// The 16-channel mixer state shared by every synth port and the converter:
// per channel a volume, mute and solo, one master volume, and the note-activity
// lights the renderer switches. The owner turns the state into one level per
// channel (GetEffectiveVolume) and hands it to whatever renders the channel.
//
// The state words are written by the window thread and read by whichever
// thread applies the levels; they are plain 32-bit words on purpose: a reader
// that sees a half-updated state only sends one stale level until the next
// ApplyMixLevel. ChannelActive is written by the listen thread and read by the
// meter thread, so it is atomic.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "core/settings_mixer.h"

class CMixerDialog;

// Channel number meaning "every channel" (in the mixer window: the master strip).
constexpr DWORD kAllChannels = 16;

// Posted (never sent: the listen thread must not wait for the window) to the
// open mixer window when a channel's instrument name changed or its client set
// changed. wParam = channel 0-15, or kAllChannels for every strip.
constexpr UINT WM_TSL_MIXER_REFRESH = WM_APP + 0x310;

class IMixerOwner {
public:
    IMixerOwner();
    virtual ~IMixerOwner() = default;
    IMixerOwner(const IMixerOwner&) = delete;
    IMixerOwner& operator=(const IMixerOwner&) = delete;

    // Level word as BASS_ChannelGetLevel gives it (left low 16 bits, right
    // high 16 bits), or 0xFFFFFFFF when no level can be had.
    virtual DWORD GetLevel() = 0;
    // Never null; empty when there is nothing to show.
    virtual std::wstring GetChannelInstrument(DWORD channel) = 0;
    virtual std::wstring GetName() const = 0;
    // Makes the renderer take up the state of one channel, or of all (16).
    virtual void ApplyMixLevel(DWORD channel) = 0;

    // 0-100: 0 when muted; volume x master / 100; scaled by SoloRatio when
    // some other channel is soloed. 100 for channel 16 and above.
    DWORD GetEffectiveVolume(DWORD channel) const;
    bool AnySolo() const;
    // True for master 100 and every channel at 100, unmuted, not soloed.
    bool IsNeutral() const;

    void SetMute(bool value, DWORD channel);
    void SetSolo(bool value, DWORD channel);
    void SetVolume(DWORD value, DWORD channel);
    void SetMasterVolume(DWORD value);

    // Whole-mixer operations of the mixer window's menu and keys.
    void MuteAll(bool value);
    void SoloAll(bool value);
    // Back to the neutral state: nothing muted or soloed, every volume 100.
    void ResetMixer();
    // Master, volumes, mute and solo of `other` (not its activity lights).
    void CopyMixerState(const IMixerOwner& other);

    // file null or empty: the configuration file, keys suffixed with Label;
    // otherwise a mixer-state file, keys without suffix. Loading does not
    // apply the levels; callers do. ERROR_SUCCESS, or the system error code
    // of a file that could not be read or written (the state and the file
    // are then as they were).
    DWORD LoadMixerState(const wchar_t* file = nullptr);
    DWORD SaveMixerState(const wchar_t* file = nullptr);

    // Opens this owner's mixer window, or brings it to the front; then makes
    // it topmost or not as "TopMost" says.
    void ShowMixer();
    // ShowMixer when no window is open, otherwise closes it.
    void ToggleMixer();

    // Tells the open mixer window (if any) to redraw strips; safe from any thread.
    void RefreshMixerStrips(DWORD channel) const;
    // The mixer window registers itself here when it opens and clears it when
    // it is destroyed (dialog null, window null).
    void SetMixerWindow(CMixerDialog* dialog, HWND window);

    DWORD MasterVolume = 100;
    DWORD ChannelVolume[kMixerChannels] = {};
    DWORD ChannelMute[kMixerChannels] = {};
    DWORD ChannelSolo[kMixerChannels] = {};
    std::atomic<DWORD> ChannelActive[kMixerChannels] = {};
    CMixerDialog* MixerWindow = nullptr;
    std::atomic<HWND> MixerWindowHandle{nullptr};
    // Suffix of this owner's configuration keys: empty for the first port and
    // the converter, the decimal port number for the other ports.
    std::wstring Label;
};
