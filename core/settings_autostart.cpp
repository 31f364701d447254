#include "core/settings_autostart.h"

#include <windows.h>

#include <vector>

#include "core/reg_key.h"

namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kValueName = L"Tessaline";

}  // namespace

std::wstring AutostartCommand()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size())
            return L"\"" + std::wstring(path.data(), length) + L"\"";
        path.resize(path.size() * 2);
    }
}

bool IsStartWithLogon()
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kRunKey, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return false;
    std::optional<std::wstring> value = ReadRegString(key.Get(), kValueName);
    return value && lstrcmpiW(value->c_str(), AutostartCommand().c_str()) == 0;
}

void SetStartWithLogon(bool on)
{
    CRegKey key;
    if (key.Create(HKEY_CURRENT_USER, kRunKey, KEY_SET_VALUE) != ERROR_SUCCESS)
        return;
    if (on)
        WriteRegString(key.Get(), kValueName, AutostartCommand());
    else
        RegDeleteValueW(key.Get(), kValueName);
}
