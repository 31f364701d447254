#include "configurator/configurator_tab_base.h"

#include "configurator/configurator.h"
#include "core/language.h"

void CConfiguratorTabBase::SetModified(bool modified)
{
    m_modified = modified;
    m_owner.SetModified(modified);
}

bool CConfiguratorTabBase::Save(UINT) { return true; }

void CConfiguratorTabBase::ApplyLanguage() { TranslateWindow(*this); }

BOOL CConfiguratorTabBase::PreTranslateMessage(MSG& msg)
{
    // Ctrl+Tab switches pages from anywhere inside a page; everything else is
    // the configurator's keyboard navigation, which covers the pages' controls.
    if (msg.message == WM_KEYDOWN && m_owner.HandleTabSwitchKey(msg.wParam))
        return TRUE;
    return FALSE;
}

INT_PTR CConfiguratorTabBase::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_MOUSEWHEEL:
        if (::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & WS_VSCROLL) {
            const short delta = GET_WHEEL_DELTA_WPARAM(wparam);
            ::SendMessageW(m_hWnd, WM_VSCROLL, delta > 0 ? SB_PAGEUP : SB_PAGEDOWN, 0);
            ::SendMessageW(m_hWnd, WM_VSCROLL, SB_ENDSCROLL, 0);
            return TRUE;
        }
        break;
    case WM_KEYDOWN:
        if (m_owner.HandleTabSwitchKey(wparam))
            return TRUE;
        break;
    }
    return CDpiAwareDialog::DialogProc(msg, wparam, lparam);
}
