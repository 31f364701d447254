// Owner of one GDI object (font, bitmap, brush, pen, region): deleted with the
// owner, never copied. Selecting it into a device context stays the caller's job.
#pragma once

#include <windows.h>

template <typename H>
class CGdiObject {
public:
    CGdiObject() = default;
    explicit CGdiObject(H handle) noexcept : m_handle(handle) {}
    ~CGdiObject() { Reset(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    CGdiObject(CGdiObject&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    CGdiObject& operator=(CGdiObject&& other) noexcept
    {
        if (this != &other) {
            Reset(other.m_handle);
            other.m_handle = nullptr;
        }
        return *this;
    }

    H Get() const noexcept { return m_handle; }
    operator H() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }

    void Reset(H handle = nullptr) noexcept
    {
        if (m_handle && m_handle != handle)
            ::DeleteObject(m_handle);
        m_handle = handle;
    }

private:
    H m_handle = nullptr;
};

using CFont = CGdiObject<HFONT>;
using CBitmap = CGdiObject<HBITMAP>;
using CBrush = CGdiObject<HBRUSH>;
using CPen = CGdiObject<HPEN>;
