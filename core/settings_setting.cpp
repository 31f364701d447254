#include "core/settings_setting.h"

#include "core/profile.h"
#include "core/settings.h"

CIntSetting::CIntSetting(CSettings& store, const wchar_t* section, const wchar_t* key, DWORD def, DWORD minimum,
                         DWORD maximum, SettingsChange flag)
    : m_store(store), m_section(section), m_key(key), m_default(def), m_min(minimum), m_max(maximum), m_flag(flag),
      m_value(def)
{
}

DWORD CIntSetting::Clamp(DWORD value) const
{
    if (value < m_min)
        return m_min;
    if (value > m_max)
        return m_max;
    return value;
}

DWORD CIntSetting::Get()
{
    if (m_loaded.load(std::memory_order_acquire))
        return m_value.load(std::memory_order_relaxed);
    DWORD value = Clamp(ProfileReadInt(m_store.ConfigFile(), m_section, m_key, static_cast<INT>(m_default)));
    m_value.store(value, std::memory_order_relaxed);
    m_loaded.store(true, std::memory_order_release);
    return value;
}

void CIntSetting::Set(DWORD value)
{
    if (m_loaded.load(std::memory_order_acquire) && m_value.load(std::memory_order_relaxed) == value)
        return;
    if (value == m_default) {
        // The default lives in the program, not in the file.
        ProfileWriteText(m_store.ConfigFile(), m_section, m_key, nullptr);
    } else {
        value = Clamp(value);
        ProfileWriteText(m_store.ConfigFile(), m_section, m_key, std::to_wstring(value).c_str());
    }
    m_value.store(value, std::memory_order_relaxed);
    m_loaded.store(true, std::memory_order_release);
    m_store.RaiseChange(m_flag);
}

CTextSetting::CTextSetting(CSettings& store, const wchar_t* section, const wchar_t* key, const wchar_t* def,
                           SettingsChange flag)
    : m_store(store), m_section(section), m_key(key), m_default(def ? def : L""), m_flag(flag), m_value(m_default)
{
}

std::wstring CTextSetting::Get()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_loaded) {
        m_value = ProfileReadFullText(m_store.ConfigFile(), m_section, m_key, m_default.c_str());
        m_loaded = true;
    }
    return m_value;
}

void CTextSetting::Set(const std::wstring& text)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_loaded && m_value == text)
            return;
        ProfileWriteText(m_store.ConfigFile(), m_section, m_key, text == m_default ? nullptr : text.c_str());
        m_value = text;
        m_loaded = true;
    }
    m_store.RaiseChange(m_flag);
}
