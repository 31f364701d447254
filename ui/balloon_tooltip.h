// CBalloonToolTip: balloon-shaped tooltips for the controls of one window.
#pragma once

#include <windows.h>

#include <string>

class CBalloonToolTip {
public:
    CBalloonToolTip() = default;
    CBalloonToolTip(const CBalloonToolTip&) = delete;
    CBalloonToolTip& operator=(const CBalloonToolTip&) = delete;
    ~CBalloonToolTip();

    // Creates the tooltip window for the controls of `owner`.
    void Create(HWND owner);
    // Shows `text` when the mouse rests on `control` (set again to change the text).
    void SetTip(HWND control, const std::wstring& text);
    HWND GetHwnd() const noexcept { return m_tip; }

private:
    HWND m_tip = nullptr;
    HWND m_owner = nullptr;
};
