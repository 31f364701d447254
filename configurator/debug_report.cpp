#include "configurator/debug_report.h"

#include <bass.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/reg_key.h"
#include "install/default_device.h"
#include "install/driver_identity.h"
#include "install/driver_setup.h"
#include "install/drivers32.h"
#include "ipc/kernel_handle.h"

namespace {

std::wstring Format(const wchar_t* format, auto... args)
{
    wchar_t text[1024];
    std::swprintf(text, std::size(text), format, args...);
    return text;
}

// The version the system really is: the compatibility layer lies to
// programs without a manifest naming the newest systems.
OSVERSIONINFOW RealVersion()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetVersion"))))
        rtlGetVersion(&version);
    return version;
}

void RegistryBlock(std::wostringstream& out, HKEY root, const std::wstring& header, const std::wstring& path,
                   const std::vector<std::wstring>& values, REGSAM view, bool reportUnreadable)
{
    out << header << L"\r\n";
    CRegKey key;
    if (key.Open(root, path.c_str(), KEY_QUERY_VALUE | view) != ERROR_SUCCESS) {
        if (reportUnreadable)
            out << L"Error reading registry key\r\n";
    } else {
        for (const std::wstring& name : values) {
            DWORD type = 0;
            if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
                continue;
            out << name << L": ";
            if (type == REG_SZ || type == REG_EXPAND_SZ)
                out << ReadRegString(key.Get(), name.c_str()).value_or(std::wstring());
            else if (type == REG_DWORD)
                out << ReadRegDword(key.Get(), name.c_str()).value_or(0);
            else
                out << L"Unsupported value type";
            out << L"\r\n";
        }
    }
    out << L"\r\n";
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

} // namespace

const wchar_t* BuildArchitecture()
{
#ifdef _WIN64
    return L"x64";
#else
    return L"x86";
#endif
}

std::wstring SystemStatusLines()
{
    std::wstring text;
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", KEY_READ | KEY_WOW64_64KEY) ==
        ERROR_SUCCESS) {
        const std::wstring product = ReadRegString(key.Get(), L"ProductName").value_or(L"Windows");
        text = product + L" (" + (IsWindows64() ? L"64 bit" : L"32 bit") + L")";
        if (auto servicePack = ReadRegString(key.Get(), L"CSDVersion"); servicePack && !servicePack->empty())
            text += L", " + *servicePack;
        const OSVERSIONINFOW version = RealVersion();
        text += Format(L" (%lu.%lu.%lu)", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
    } else {
        text = L"Error reading Windows version";
    }
    text += L"\r\n";
    text += Format(L"%ls: %ls (%ls)\r\n", L"Tessaline", kProductVersion, BuildArchitecture());
    return text;
}

std::wstring LiveStatusLines(DWORD devicesCount, const std::wstring& portsStatus)
{
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof(memory);
    GlobalMemoryStatusEx(&memory);
    std::wstring text = Format(L"Memory (MB): total %llu, free %llu (%lu%%)\r\n", memory.ullTotalPhys >> 20,
                               memory.ullAvailPhys >> 20, 100 - memory.dwMemoryLoad);
    text += Format(L"Available devices: %lu\r\n", devicesCount);
    return text + portsStatus;
}

std::vector<std::wstring> AudioDeviceNames()
{
    std::vector<std::wstring> names;
    BASS_DEVICEINFO info{};
    for (DWORD device = 1; BASS_GetDeviceInfo(device, &info); ++device) {
        std::wstring name;
        for (const char* c = info.name ? info.name : ""; *c; ++c)
            name.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
        names.push_back(name);
    }
    return names;
}

std::wstring BuildDebugReport(const DebugReportSources& sources)
{
    std::wostringstream out;
    out << L"Status\r\n======\r\n";
    out << sources.status;
    if (!sources.status.empty() && sources.status.back() != L'\n')
        out << L"\r\n";
    out << L"\r\n";

    out << L"Soundfonts\r\n==========\r\n";
    for (const SoundFontEntry& entry : sources.soundFonts) {
        out << L"filename: " << entry.FileName << L"\r\n";
        out << L"enabled: " << entry.EnabledPorts << L", preload: " << (entry.Preload ? 1 : 0)
            << L", bank: " << entry.Bank << L", preset: " << entry.Preset << L"\r\n";
    }
    out << L"\r\n";

    const std::wstring arch = BuildArchitecture();
    out << L"MIDI Devices (" << arch << L")\r\n==================\r\n";
    for (size_t i = 0; i < sources.midiDevices.size(); ++i)
        out << L"[" << i << L"]: " << sources.midiDevices[i] << L"\r\n";
    out << L"\r\n";
    out << L"Audio Devices (" << arch << L")\r\n===================\r\n";
    for (size_t i = 0; i < sources.audioDevices.size(); ++i)
        out << L"[" << (i + 1) << L"]: " << sources.audioDevices[i] << L"\r\n";
    out << L"\r\n";

    const std::wstring rule72(72, L'=');
    out << L"Configuration file\r\n" << rule72 << L"\r\n";
    std::ifstream config(sources.configFile.c_str(), std::ios::binary);
    if (!config) {
        out << L"Can't open configuration file: " << sources.configFile << L"\r\n";
    } else {
        for (std::string line; std::getline(config, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty() || line[0] == ';')
                continue;
            int size = MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
            std::wstring wide(static_cast<size_t>(size), L'\0');
            MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), wide.data(), size);
            out << wide << L"\r\n";
        }
    }
    out << rule72 << L"\r\n\r\n";

    out << L"Registry keys\r\n" << std::wstring(23, L'=') << L"\r\n";
    std::vector<std::wstring> slots = MidiSlotNames();
    RegistryBlock(out, HKEY_LOCAL_MACHINE, std::wstring(L"*** x86: HKLM\\") + kDrivers32Key + L" ***", kDrivers32Key,
                  slots, KEY_WOW64_32KEY, true);
    // Both views on 64-bit Windows, whichever build writes the report.
    if (IsWindows64())
        RegistryBlock(out, HKEY_LOCAL_MACHINE, std::wstring(L"*** x64: HKLM\\") + kDrivers32Key + L" ***",
                      kDrivers32Key, slots, KEY_WOW64_64KEY, true);
    const bool canSetDefault = CanSetDefaultMidiDevice();
    RegistryBlock(out, HKEY_CURRENT_USER, std::wstring(L"*** HKCU\\") + kMidiMapKey + L" ***", kMidiMapKey,
                  {L"szPname"}, 0, canSetDefault);
    RegistryBlock(out, HKEY_CURRENT_USER, std::wstring(L"*** HKCU\\") + kDevenumMidiOutKey + L" ***",
                  kDevenumMidiOutKey, {L"MidiOutId"}, 0, canSetDefault);
    return out.str();
}

DWORD WriteDebugReport(const std::wstring& path, const std::wstring& text)
{
    CKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return GetLastError();
    // A byte-order mark so that any editor reads the names in it right.
    const std::string bytes = "\xEF\xBB\xBF" + ToUtf8(text);
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return GetLastError();
    if (written != bytes.size())
        return ERROR_WRITE_FAULT;
    if (!FlushFileBuffers(file.Get()))
        return GetLastError();
    return ERROR_SUCCESS;
}
