#include "core/settings.h"

#include "core/message_box.h"
#include "core/profile.h"
#include "core/settings_autostart.h"
#include "core/settings_window.h"
#include "core/system_error.h"
#include "mixer/mixer_state_file.h"

CSettings* g_Settings = nullptr;

namespace {

constexpr const wchar_t* kInitErrorTitle = L"Tessaline initialization error";
constexpr const wchar_t* kRegistryKey = L"SOFTWARE\\Ambrella Tessaline";

void ShowInitError(const std::wstring& text)
{
    ShowMessage(text, MB_OK | MB_ICONERROR, nullptr, kInitErrorTitle);
}

}  // namespace

std::wstring PortName(DWORD index)
{
    return L"Tessaline #" + std::to_wstring(static_cast<unsigned long>(index) + 1);
}

std::wstring PortKeySuffix(DWORD index)
{
    return index == 0 ? std::wstring() : std::to_wstring(static_cast<unsigned long>(index) + 1);
}

CSettings::CSettings()
{
    if (ReadInstallFolderFromRegistry())
        OpenConfigFile();
}

CSettings::CSettings(const std::wstring& installFolder) : m_installFolder(installFolder)
{
    // The folder is used as "<folder>\file": a trailing separator would double it.
    while (!m_installFolder.empty() && (m_installFolder.back() == L'\\' || m_installFolder.back() == L'/'))
        m_installFolder.pop_back();
    OpenConfigFile();
}

bool CSettings::ReadInstallFolderFromRegistry()
{
    m_installFolder.clear();
    HKEY key = nullptr;
    // The 64-bit view: the installer writes there, and a 32-bit process would
    // otherwise be redirected to the WOW6432Node copy.
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ | KEY_WOW64_64KEY, &key);
    if (status == ERROR_SUCCESS) {
        wchar_t folder[MAX_PATH + 1] = {};
        DWORD size = MAX_PATH * sizeof(wchar_t);
        DWORD type = 0;
        status = RegQueryValueExW(key, L"path", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
        RegCloseKey(key);
        if (status == ERROR_SUCCESS) {
            folder[MAX_PATH] = L'\0';
            m_installFolder = folder;
        }
    }
    if (status != ERROR_SUCCESS || m_installFolder.empty()) {
        ShowInitError(SystemErrorText(static_cast<DWORD>(status)) +
                      L"\nError reading configuration registry key:\nHKLM\\SOFTWARE\\Ambrella Tessaline\\path");
        m_installFolder.clear();
        return false;
    }
    return true;
}

void CSettings::OpenConfigFile()
{
    m_loaded = false;
    m_configFile = m_installFolder + L"\\" + kConfigFileName;
    DWORD attributes = GetFileAttributesW(m_configFile.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ShowInitError(L"ERROR: configuration file is missing or unreadable: " + m_configFile);
        m_configFile.clear();
        return;
    }
    // DevicesCount first: the soundfont masks and the output devices depend on it,
    // and the threads that serve the ports later read only its cached value.
    DevicesCount.Get();
    LoadSoundFontList(SoundFonts);
    LoadOutputDevices();
    m_loaded = true;
}

bool CSettings::IsChanged(SettingsChange flag) const
{
    int i = static_cast<int>(flag);
    return i >= 0 && i < kSettingsChangeCount && m_changed[i].load() != 0;
}

void CSettings::RaiseChange(SettingsChange flag)
{
    int i = static_cast<int>(flag);
    if (i >= 0 && i < kSettingsChangeCount)
        m_changed[i].store(1);
}

void CSettings::ClearChanges()
{
    for (auto& flag : m_changed)
        flag.store(0);
}

std::wstring CSettings::ReadText(const wchar_t* section, const wchar_t* key, const wchar_t* def, DWORD bufferChars,
                                 const std::wstring& suffix, const std::wstring& file) const
{
    return ProfileReadText(FileOrConfig(file), section, ProfileKey(key, suffix), def, bufferChars);
}

void CSettings::WriteText(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                          const std::wstring& suffix, const std::wstring& file) const
{
    ProfileWriteText(FileOrConfig(file), section, ProfileKey(key, suffix), value);
}

UINT CSettings::ReadInt(const wchar_t* section, const wchar_t* key, INT def, const std::wstring& suffix,
                        const std::wstring& file) const
{
    return ProfileReadInt(FileOrConfig(file), section, ProfileKey(key, suffix), def);
}

void CSettings::LoadSoundFontList(SoundFontList& list, const std::wstring& file)
{
    ReadSoundFontList(FileOrConfig(file), DevicesCount.Get(), list);
}

void CSettings::SaveSoundFontList(SoundFontList& list, const std::wstring& file)
{
    WriteSoundFontList(FileOrConfig(file), DevicesCount.Get(), list);
}

DWORD CSettings::LoadMixerKeys(MixerKeys& keys, const std::wstring& suffix, const std::wstring& file) const
{
    if (!file.empty())
        return ReadMixerStateFile(file, keys);
    ReadMixerKeys(m_configFile, suffix, keys);
    return ERROR_SUCCESS;
}

DWORD CSettings::SaveMixerKeys(const MixerKeys& keys, const std::wstring& suffix, const std::wstring& file) const
{
    if (!file.empty())
        return WriteMixerStateFile(file, keys);
    // Configuration keys go one by one through the profile writer, whose
    // failures are not reported.
    WriteMixerKeys(m_configFile, suffix, keys);
    return ERROR_SUCCESS;
}

bool CSettings::RestoreWindowPlacement(const wchar_t* name, HWND window, bool resizable,
                                       const std::wstring& suffix) const
{
    return ApplyWindowPlacement(window, ReadText(L"Windows", name, L"", 30, suffix), resizable);
}

void CSettings::SaveWindowPlacement(const wchar_t* name, HWND window, const std::wstring& suffix) const
{
    std::wstring text = FormatWindowPlacement(window);
    if (!text.empty())
        WriteText(L"Windows", name, text.c_str(), suffix);
}

void CSettings::LoadOutputDevices()
{
    PortDevices = ParsePortOutputDevices(OutputDevice.Get(), OutputDeviceName.Get(), DevicesCount.Get());
}

void CSettings::SaveOutputDevices()
{
    std::wstring devices, names;
    FormatPortOutputDevices(PortDevices, DevicesCount.Get(), devices, names);
    OutputDevice.Set(devices);
    OutputDeviceName.Set(names);
}

bool CSettings::IsStartWithLogon() const { return ::IsStartWithLogon(); }

void CSettings::SetStartWithLogon(bool on) const { ::SetStartWithLogon(on); }
