#include "core/resident_windows.h"

#include "core/app.h"

CResidentWindows& ResidentWindows()
{
    static CResidentWindows windows;
    return windows;
}

void CResidentWindows::Open(Win32xx::CWnd*& slot, const Factory& factory)
{
    if (Win32xx::CWnd* wnd = Alive(slot)) {
        if (::IsIconic(*wnd))
            ::ShowWindow(*wnd, SW_RESTORE);
        ::SetForegroundWindow(*wnd);
        return;
    }
    if (!factory)
        return;
    HWND owner = GetMainApp() ? GetMainApp()->GetTray().GetHwnd() : nullptr;
    try {
        slot = factory(owner);
    } catch (const Win32xx::CWinException&) {
        slot = nullptr;
    }
}

void CResidentWindows::DestroyAll()
{
    // Modeless windows hand their objects to the tray for deletion when they are
    // destroyed, so only the windows are destroyed here.
    if (Win32xx::CWnd* w = Alive(m_configurator))
        w->Destroy();
    if (Win32xx::CWnd* w = Alive(m_converter))
        w->Destroy();
    m_configurator = nullptr;
    m_converter = nullptr;
}
