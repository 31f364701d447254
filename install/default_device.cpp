#include "install/default_device.h"

#include <windows.h>

#include "core/reg_key.h"

bool IsWindows8OrLater()
{
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 2;
    version.wServicePackMajor = 0;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

bool CanSetDefaultMidiDevice()
{
    if (!IsWindows8OrLater())
        return true;
    CRegKey key;
    return key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Ambrella Portvane", KEY_READ | KEY_WOW64_32KEY) == ERROR_SUCCESS;
}

void ResetDefaultMidiDevices(bool both)
{
    if (!IsWindows8OrLater()) {
        CRegKey map;
        if (map.Create(HKEY_CURRENT_USER, kMidiMapKey, KEY_SET_VALUE) == ERROR_SUCCESS)
            WriteRegString(map.Get(), L"szPname", L"Microsoft GS Wavetable Synth");
    }
    auto resetIndex = [](const wchar_t* path) {
        CRegKey key;
        if (key.Create(HKEY_CURRENT_USER, path, KEY_SET_VALUE) == ERROR_SUCCESS)
            WriteRegDword(key.Get(), L"MidiOutId", 0);
    };
    resetIndex(kDevenumMidiOutKey);
    if (both)
        resetIndex(kDevenum64MidiOutKey);
}
