#include "core/reg_key.h"

#include <vector>

LSTATUS CRegKey::Open(HKEY parent, const wchar_t* path, REGSAM access)
{
    return RegOpenKeyExW(parent, path, 0, access, Receive());
}

LSTATUS CRegKey::Create(HKEY parent, const wchar_t* path, REGSAM access)
{
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, Receive(), nullptr);
}

void CRegKey::Reset()
{
    if (m_key)
        RegCloseKey(m_key);
    m_key = nullptr;
}

std::optional<std::wstring> ReadRegString(HKEY key, const wchar_t* name)
{
    // The value may change between the size query and the read: try again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        // A stored value need not end with a zero; the buffer has one spare.
        buffer[std::min<size_t>(bytes / sizeof(wchar_t), buffer.size() - 1)] = L'\0';
        return std::wstring(buffer.data());
    }
    return std::nullopt;
}

std::optional<DWORD> ReadRegDword(HKEY key, const wchar_t* name)
{
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

LSTATUS WriteRegString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS WriteRegDword(HKEY key, const wchar_t* name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}
