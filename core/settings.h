// The settings store: the one process-wide object that knows where the
// configuration file is and declares every key of it. Every change is written
// to the file the moment it is made; nothing is saved at exit.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "core/settings_mixer.h"
#include "core/settings_output.h"
#include "core/settings_setting.h"
#include "core/settings_soundfont.h"

constexpr const wchar_t* kConfigFileName = L"Tessaline.conf";
constexpr const wchar_t* kDefaultUpdateServer = L"https://updates.ambrella-tessaline.net";

// "Tessaline #1" for index 0: ports are counted from 1 for the user.
std::wstring PortName(DWORD index);

// Key suffix of a port's keys: nothing for the first port, the port number for the others.
std::wstring PortKeySuffix(DWORD index);

class CSettings {
public:
    // Finds the installation folder in the machine-wide registry value and checks
    // the configuration file there; on failure tells the user and stays not loaded.
    CSettings();
    // The same with a given installation folder (no registry involved).
    explicit CSettings(const std::wstring& installFolder);
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    bool Loaded() const { return m_loaded; }
    const std::wstring& InstallFolder() const { return m_installFolder; }
    const std::wstring& ConfigFile() const { return m_configFile; }

    // Change flags, raised by Set of the settings that carry one; the
    // configurator acts on them after saving and clears them.
    bool IsChanged(SettingsChange flag) const;
    void RaiseChange(SettingsChange flag);
    void ClearChanges();

    // Raw profile access for keys that are not setting objects. The suffix is
    // appended to the key; an empty file means the configuration file. A null
    // value removes the key. `bufferChars` includes the terminator.
    std::wstring ReadText(const wchar_t* section, const wchar_t* key, const wchar_t* def, DWORD bufferChars,
                          const std::wstring& suffix = {}, const std::wstring& file = {}) const;
    void WriteText(const wchar_t* section, const wchar_t* key, const wchar_t* value, const std::wstring& suffix = {},
                   const std::wstring& file = {}) const;
    UINT ReadInt(const wchar_t* section, const wchar_t* key, INT def, const std::wstring& suffix = {},
                 const std::wstring& file = {}) const;

    // Soundfont list: the store's own (SoundFonts) in the configuration file, or
    // any list in any soundfont-list file. Saving masks the entries to the ports.
    void LoadSoundFontList(SoundFontList& list, const std::wstring& file = {});
    void SaveSoundFontList(SoundFontList& list, const std::wstring& file = {});
    void SaveSoundFontList() { SaveSoundFontList(SoundFonts); }

    // Mixer keys of one owner: with an empty file, the configuration file and the
    // owner's key suffix; otherwise a mixer-state file, without suffix, read
    // and written whole. The system error code of a file that failed.
    DWORD LoadMixerKeys(MixerKeys& keys, const std::wstring& suffix, const std::wstring& file = {}) const;
    DWORD SaveMixerKeys(const MixerKeys& keys, const std::wstring& suffix, const std::wstring& file = {}) const;

    // Window placement under [Windows], key = name followed by the suffix.
    // Restore shows the window in any case; false when nothing usable was stored.
    bool RestoreWindowPlacement(const wchar_t* name, HWND window, bool resizable,
                                const std::wstring& suffix = {}) const;
    void SaveWindowPlacement(const wchar_t* name, HWND window, const std::wstring& suffix = {}) const;

    // Per-port output devices: PortOutputDevices is filled from OutputDevice and
    // OutputDeviceName at construction; Save writes the first DevicesCount ports back.
    void LoadOutputDevices();
    void SaveOutputDevices();

    // Starting with the user's logon (per-user Run value).
    bool IsStartWithLogon() const;
    void SetStartWithLogon(bool on) const;

    SoundFontList SoundFonts;
    PortOutputDevices PortDevices{};

    // [Mixer]
    CIntSetting OpenStatus{*this, L"Mixer", L"OpenStatus", 0, 0, kNoMaximum};
    CIntSetting TopMost{*this, L"Mixer", L"TopMost", 0, 0, 1};
    CIntSetting Zoom{*this, L"Mixer", L"Zoom", 100, 100, 200};
    CIntSetting SoloRatio{*this, L"Mixer", L"SoloRatio", 20, 0, 100};
    // [Shortcuts]
    CIntSetting ShowMixer{*this, L"Shortcuts", L"ShowMixer", 1613, 0, kNoMaximum, SettingsChange::Hotkey};
    CIntSetting ShowMixerAll{*this, L"Shortcuts", L"ShowMixerAll", 0, 0, kNoMaximum};
    CIntSetting MIDIPanic{*this, L"Shortcuts", L"MIDIPanic", 1568, 0, kNoMaximum, SettingsChange::Hotkey};
    // [Advanced]
    CIntSetting EnableHardwareMixer{*this, L"Advanced", L"EnableHardwareMixer", 1, 0, 1, SettingsChange::Audio};
    CIntSetting ReverbLevel{*this, L"Advanced", L"ReverbLevel", 64, 0, 127, SettingsChange::Audio};
    CIntSetting ChorusLevel{*this, L"Advanced", L"ChorusLevel", 64, 0, 127, SettingsChange::Audio};
    CIntSetting ReverbChorusOverride{*this, L"Advanced", L"ReverbChorusOverride", 1, 0, 1, SettingsChange::Audio};
    CIntSetting MasterReverb{*this, L"Advanced", L"MasterReverb", 100, 0, 500, SettingsChange::Audio};
    CIntSetting CpuLimit{*this, L"Advanced", L"CpuLimit", 95, 0, 100, SettingsChange::Audio};
    CIntSetting DisableMidiEffects{*this, L"Advanced", L"DisableMidiEffects", 0, 0, 1, SettingsChange::Audio};
    CIntSetting DisableStereo{*this, L"Advanced", L"DisableStereo", 0, 0, 1, SettingsChange::Audio};
    CIntSetting OutputSampleRate{*this, L"Advanced", L"OutputSampleRate", 48000, 0, kNoMaximum, SettingsChange::Audio};
    CIntSetting Force8BitSamples{*this, L"Advanced", L"Force8BitSamples", 0, 0, 1, SettingsChange::Audio};
    CIntSetting DisableVUMeter{*this, L"Advanced", L"DisableVUMeter", 0, 0, 1, SettingsChange::VuMeter};
    CIntSetting SnapWindows{*this, L"Advanced", L"SnapWindows", 1, 0, 1};
    CIntSetting AdditionalBuffer{*this, L"Advanced", L"AdditionalBuffer", 250, 0, 1000, SettingsChange::Audio};
    CIntSetting ReleaseOnlyLast{*this, L"Advanced", L"ReleaseOnlyLast", 0, 0, 1, SettingsChange::Audio};
    CIntSetting SincInterpolatedMix{*this, L"Advanced", L"SincInterpolatedMix", 0, 0, 1, SettingsChange::Audio};
    CIntSetting DisableMidiEventsAsync{*this, L"Advanced", L"DisableMidiEventsAsync", 0, 0, 1, SettingsChange::Audio};
    CIntSetting LangID{*this, L"Advanced", L"LangID", 1033, 0, kNoMaximum, SettingsChange::Language};
    CIntSetting DevicesCount{*this, L"Advanced", L"DevicesCount", 1, 1, kMaxPorts, SettingsChange::PortCount};
    CIntSetting VoicesLimit{*this, L"Advanced", L"VoicesLimit", 500, 16, 100000, SettingsChange::Audio};
    CIntSetting WatchdogTimeout{*this, L"Advanced", L"WatchdogTimeout", 8000, 4000, 60000};
    CTextSetting ClientBlacklist{*this, L"Advanced", L"ClientBlacklist", L""};
    CTextSetting OutputDevice{*this, L"Advanced", L"OutputDevice", L"1", SettingsChange::Audio};
    CTextSetting OutputDeviceName{*this, L"Advanced", L"OutputDeviceName", L"", SettingsChange::Audio};
    // [Update]
    CIntSetting CheckFrequency{*this, L"Update", L"CheckFrequency", 0, 0, 180};
    CTextSetting LastCheck{*this, L"Update", L"LastCheck", L"1900-01-01"};
    CTextSetting LastNotify{*this, L"Update", L"LastNotify", L"1900-01-01"};
    CTextSetting LastVersionFound{*this, L"Update", L"LastVersionFound", L""};
    CTextSetting LastVersionURL{*this, L"Update", L"LastVersionURL", L""};
    // The update service's server (https); tests point it at a local one.
    CTextSetting UpdateServer{*this, L"Update", L"Server", kDefaultUpdateServer};
    // [MidiConverter]
    CTextSetting OutputFolder{*this, L"MidiConverter", L"OutputFolder", L""};
    CIntSetting OutputFormat{*this, L"MidiConverter", L"OutputFormat", 0, 0, kNoMaximum};
    CTextSetting EncoderOptions{*this, L"MidiConverter", L"EncoderOptions", L""};
    CIntSetting SkipInitialSilence{*this, L"MidiConverter", L"SkipInitialSilence", 0, 0, 1};
    CIntSetting MultichannelMode{*this, L"MidiConverter", L"MultichannelMode", 0, 0, 1};

private:
    bool ReadInstallFolderFromRegistry();
    void OpenConfigFile();
    const std::wstring& FileOrConfig(const std::wstring& file) const { return file.empty() ? m_configFile : file; }

    std::wstring m_installFolder;
    std::wstring m_configFile;
    std::atomic<DWORD> m_changed[kSettingsChangeCount] = {};
    bool m_loaded = false;
};

extern CSettings* g_Settings;
