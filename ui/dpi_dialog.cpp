#include "ui/dpi_dialog.h"

#include "core/dpi.h"
#include "core/settings.h"
#include "ui/deferred_delete.h"

#include <vector>

namespace {

bool SnapWindowsOn()
{
    // Dialogs can exist without a settings store (tests of single windows):
    // the setting's default is on.
    return g_Settings ? g_Settings->SnapWindows.Get() != 0 : true;
}

RECT Scaled(const RECT& r, float f)
{
    return {static_cast<LONG>(r.left * f), static_cast<LONG>(r.top * f), static_cast<LONG>(r.right * f),
            static_cast<LONG>(r.bottom * f)};
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param)
{
    auto* list = reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(param);
    if (::GetParent(child) == list->first)
        list->second->push_back(child);
    return TRUE;
}

} // namespace

UINT CDpiAwareDialog::WindowDpi(HWND wnd)
{
    const DpiFunctions& dpi = Dpi();
    if (dpi.GetDpiForMonitor) {
        UINT x = 0, y = 0;
        HMONITOR monitor = ::MonitorFromWindow(wnd, MONITOR_DEFAULTTOPRIMARY);
        if (SUCCEEDED(dpi.GetDpiForMonitor(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && (x & 0xFFFF))
            return x & 0xFFFF;
    }
    HDC screen = ::GetDC(nullptr);
    int logPixels = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return logPixels > 0 ? static_cast<UINT>(logPixels) : 96;
}

HFONT CDpiAwareDialog::CreateMessageFont(UINT dpi)
{
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    const DpiFunctions& fn = Dpi();
    bool ok = fn.SystemParametersInfoForDpi
        ? fn.SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0, dpi)
        : false;
    if (!ok) {
        ok = ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
        // These metrics are for the system's DPI; bring the font to the one asked for.
        HDC screen = ::GetDC(nullptr);
        int systemDpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen)
            ::ReleaseDC(nullptr, screen);
        if (ok && systemDpi > 0 && static_cast<UINT>(systemDpi) != dpi)
            ncm.lfMessageFont.lfHeight = ::MulDiv(ncm.lfMessageFont.lfHeight, static_cast<int>(dpi), systemDpi);
    }
    if (!ok)
        return nullptr;
    return ::CreateFontIndirectW(&ncm.lfMessageFont);
}

void CDpiAwareDialog::ApplyFont(UINT dpi, bool children)
{
    HFONT font = CreateMessageFont(dpi);
    if (!font)
        return;
    ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (children) {
        for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    // The old font may still be selected by the controls until they take the new one.
    m_font.Reset(font);
}

void CDpiAwareDialog::SetUpDpi()
{
    const DpiFunctions& fn = Dpi();
    // This class does the rescaling; the system's own would scale twice.
    if (fn.SetDialogDpiChangeBehavior)
        fn.SetDialogDpiChangeBehavior(m_hWnd, 1, 1);
    m_resizer.Initialize(m_hWnd);
    m_dpi = WindowDpi(m_hWnd);
    m_scale = static_cast<float>(m_dpi) / 96.0f;
    if (m_dpi != 96)
        ApplyFont(m_dpi, true);
}

void CDpiAwareDialog::OnDpiChanged(UINT newDpi, const RECT* suggested)
{
    if (newDpi == 0 || newDpi == m_dpi)
        return;
    m_changingDpi = true;
    const float f = static_cast<float>(newDpi) / static_cast<float>(m_dpi);
    m_minWindow = Scaled(m_minWindow, f);
    if (suggested) {
        ::SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    m_resizer.ScaleBounds(f);
    ApplyFont(newDpi, false);

    std::vector<HWND> children;
    std::pair<HWND, std::vector<HWND>*> ctx{m_hWnd, &children};
    ::EnumChildWindows(m_hWnd, CollectChild, reinterpret_cast<LPARAM>(&ctx));
    HDWP dwp = ::BeginDeferWindowPos(static_cast<int>(children.size()));
    const WPARAM dpiParam = MAKEWPARAM(newDpi, newDpi);
    for (HWND child : children) {
        RECT r{};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        r = Scaled(r, f);
        const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
        if (dwp)
            dwp = ::DeferWindowPos(dwp, child, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
        else
            ::SetWindowPos(child, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), TRUE);
        ::SendMessageW(child, WM_DPICHANGED, dpiParam, 0);
        m_resizer.ScaleChild(child, f);
    }
    if (dwp)
        ::EndDeferWindowPos(dwp);

    m_dpi = newDpi;
    m_changingDpi = false;
    m_scale = static_cast<float>(newDpi) / 96.0f;
    m_resizer.RecalcLayout();
    m_snapper.CollectCandidates(m_hWnd);
    AfterDpiChange();
}

void CDpiAwareDialog::PostForDeletion() { ::PostForDeletion(this); }

INT_PTR CDpiAwareDialog::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (!m_changingDpi)
        m_resizer.HandleMessage(msg, wparam, lparam);
    switch (msg) {
    case WM_INITDIALOG:
        SetUpDpi();
        return CDialog::DialogProc(msg, wparam, lparam);
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        const LONG w = m_minWindow.right - m_minWindow.left, h = m_minWindow.bottom - m_minWindow.top;
        if (w > 0)
            info->ptMinTrackSize.x = w;
        if (h > 0)
            info->ptMinTrackSize.y = h;
        return TRUE;
    }
    case WM_ENTERSIZEMOVE:
        if (SnapWindowsOn() && !m_changingDpi)
            m_snapper.BeginMove(m_hWnd);
        break;
    case WM_MOVING:
        if (SnapWindowsOn() && m_snapper.Snap(m_hWnd, *reinterpret_cast<RECT*>(lparam))) {
            ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        break;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wparam), reinterpret_cast<const RECT*>(lparam));
        return TRUE;
    case WM_NCDESTROY:
        OnFinalDestroy();
        return FALSE;
    }
    return CDialog::DialogProc(msg, wparam, lparam);
}
