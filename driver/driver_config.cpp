#include "driver/driver_config.h"

#include "driver/blacklist.h"

#include <algorithm>
#include <vector>

std::wstring InstallationFolder()
{
    // The synth is a 32-bit program and the driver may be either: both look
    // in the 64-bit view so they find the same value.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Ambrella Tessaline", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return {};
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD size = sizeof folder - sizeof(wchar_t);
    LSTATUS status = RegGetValueW(key, nullptr, L"path", RRF_RT_REG_SZ, nullptr, folder, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::wstring(folder) : std::wstring();
}

std::wstring ConfigurationPath()
{
    std::wstring folder = InstallationFolder();
    return folder.empty() ? folder : folder + L"\\Tessaline.conf";
}

DWORD ConfiguredPortCount()
{
    std::wstring path = ConfigurationPath();
    if (path.empty())
        return 1;
    UINT count = GetPrivateProfileIntW(L"Advanced", L"DevicesCount", 1, path.c_str());
    return std::clamp<DWORD>(count, 1, kDriverMaxPorts);
}

std::wstring ConfiguredBlacklist()
{
    std::wstring path = ConfigurationPath();
    if (path.empty())
        return {};
    std::vector<wchar_t> buffer(256);
    for (;;) {
        DWORD length = GetPrivateProfileStringW(L"Advanced", L"ClientBlacklist", L"", buffer.data(),
                                                static_cast<DWORD>(buffer.size()), path.c_str());
        if (length + 1 < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool CurrentProgramBlacklisted()
{
    std::wstring list = ConfiguredBlacklist();
    if (list.empty())
        return false;
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return false;
        if (length < path.size())
            return blacklist::IsListed(list, std::wstring_view(path.data(), length));
        path.resize(path.size() * 2);
    }
}
