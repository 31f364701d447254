#include "ui/tab_ex.h"

#include <commctrl.h>

int TabEx::AddTab(const std::wstring& title)
{
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(title.c_str());
    return static_cast<int>(::SendMessageW(m_tab, TCM_INSERTITEMW, static_cast<WPARAM>(Count()), reinterpret_cast<LPARAM>(&item)));
}

int TabEx::Count() const { return static_cast<int>(::SendMessageW(m_tab, TCM_GETITEMCOUNT, 0, 0)); }

int TabEx::CurrentTab() const { return static_cast<int>(::SendMessageW(m_tab, TCM_GETCURSEL, 0, 0)); }

void TabEx::SetCurrentTab(int index) { ::SendMessageW(m_tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0); }

void TabEx::UpdateItemHeight(float scale)
{
    HDC dc = ::GetDC(m_tab);
    if (!dc)
        return;
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(m_tab, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    SIZE text{};
    ::GetTextExtentPoint32W(dc, L"Text", 4, &text);
    if (old)
        ::SelectObject(dc, old);
    ::ReleaseDC(m_tab, dc);
    // The dialog base gives the control the message font of the window's DPI,
    // so the text's height is already scaled; scaling it again would make the
    // tabs grow twice as fast as the text.
    const int height = text.cy + static_cast<int>(7.0f * scale);
    ::SendMessageW(m_tab, TCM_SETITEMSIZE, 0, MAKELPARAM(0, height));
}

RECT TabEx::PageRect(HWND parent) const
{
    RECT r{};
    ::GetWindowRect(m_tab, &r);
    ::SendMessageW(m_tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}
