// TabEx: a tab control whose tab height follows the DPI (the height of the text
// "Text" in the control's font, which has the window's DPI already, plus 7
// pixels times the DPI scale), with the operations the configurator needs.
#pragma once

#include <windows.h>

#include <string>

class TabEx {
public:
    void Attach(HWND tab) noexcept { m_tab = tab; }
    HWND GetHwnd() const noexcept { return m_tab; }

    int AddTab(const std::wstring& title);
    int Count() const;
    int CurrentTab() const;
    void SetCurrentTab(int index);
    // Sets the tabs' height for `scale` (the window's DPI / 96) and the control's font.
    void UpdateItemHeight(float scale);
    // The part of `parent`'s client area where a page goes, in its coordinates.
    RECT PageRect(HWND parent) const;

private:
    HWND m_tab = nullptr;
};
