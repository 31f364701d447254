// Typed setting objects of the settings store: one key of the configuration
// file each, read on first use, clamped, cached, and written through on Set.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

class CSettings;

// The five change flags, in their order. A setting raises at most one of them.
enum class SettingsChange : int { Audio = 0, Hotkey, VuMeter, Language, PortCount, None };
constexpr int kSettingsChangeCount = 5;

// Maximum meaning "no upper bound".
constexpr DWORD kNoMaximum = 0xFFFFFFFFu;

class CIntSetting {
public:
    CIntSetting(CSettings& store, const wchar_t* section, const wchar_t* key, DWORD def, DWORD minimum,
                DWORD maximum, SettingsChange flag = SettingsChange::None);
    CIntSetting(const CIntSetting&) = delete;
    CIntSetting& operator=(const CIntSetting&) = delete;

    // Safe from any thread: the worst a race gives is the file read twice.
    DWORD Get();
    void Set(DWORD value);

    DWORD Default() const { return m_default; }
    DWORD Minimum() const { return m_min; }
    DWORD Maximum() const { return m_max; }
    const wchar_t* Section() const { return m_section; }
    const wchar_t* Key() const { return m_key; }

private:
    DWORD Clamp(DWORD value) const;

    CSettings& m_store;
    const wchar_t* m_section;
    const wchar_t* m_key;
    const DWORD m_default;
    const DWORD m_min;
    const DWORD m_max;
    const SettingsChange m_flag;
    std::atomic<DWORD> m_value;
    std::atomic<bool> m_loaded{false};
};

class CTextSetting {
public:
    CTextSetting(CSettings& store, const wchar_t* section, const wchar_t* key, const wchar_t* def,
                 SettingsChange flag = SettingsChange::None);
    CTextSetting(const CTextSetting&) = delete;
    CTextSetting& operator=(const CTextSetting&) = delete;

    std::wstring Get();
    void Set(const std::wstring& text);

    const std::wstring& Default() const { return m_default; }
    const wchar_t* Section() const { return m_section; }
    const wchar_t* Key() const { return m_key; }

private:
    CSettings& m_store;
    const wchar_t* m_section;
    const wchar_t* m_key;
    const std::wstring m_default;
    const SettingsChange m_flag;
    std::mutex m_lock;  // the cache is a string: readers on other threads must not see it half-assigned
    std::wstring m_value;
    bool m_loaded = false;
};
