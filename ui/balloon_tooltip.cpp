#include "ui/balloon_tooltip.h"

#include <commctrl.h>

CBalloonToolTip::~CBalloonToolTip()
{
    if (m_tip && ::IsWindow(m_tip))
        ::DestroyWindow(m_tip);
}

void CBalloonToolTip::Create(HWND owner)
{
    m_owner = owner;
    m_tip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_BALLOON | TTS_NOPREFIX,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
}

void CBalloonToolTip::SetTip(HWND control, const std::wstring& text)
{
    if (!m_tip || !control)
        return;
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = m_owner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    TTTOOLINFOW existing = info;
    const bool known = ::SendMessageW(m_tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&existing)) != 0;
    info.lpszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(m_tip, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}
