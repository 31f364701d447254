// One owner for open registry keys, and the few value reads and writes the
// program makes: strings are written with their terminating zero counted.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

class CRegKey {
public:
    CRegKey() = default;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    ~CRegKey() { Reset(); }

    // Opens an existing key; the status of the call (ERROR_SUCCESS when open).
    LSTATUS Open(HKEY parent, const wchar_t* path, REGSAM access);
    // Opens the key, creating it (and its parents) when missing.
    LSTATUS Create(HKEY parent, const wchar_t* path, REGSAM access);

    HKEY* Receive()
    {
        Reset();
        return &m_key;
    }
    HKEY Get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }
    void Reset();

private:
    HKEY m_key = nullptr;
};

// A string value (REG_SZ or REG_EXPAND_SZ, not expanded), whatever its length;
// nothing when it is missing or of another type.
std::optional<std::wstring> ReadRegString(HKEY key, const wchar_t* name);
std::optional<DWORD> ReadRegDword(HKEY key, const wchar_t* name);
LSTATUS WriteRegString(HKEY key, const wchar_t* name, const std::wstring& value);
LSTATUS WriteRegDword(HKEY key, const wchar_t* name, DWORD value);
