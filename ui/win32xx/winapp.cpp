#include "ui/win32xx/winapp.h"

#include "ui/win32xx/wnd.h"

namespace Win32xx {

CWinApp* CWinApp::s_app = nullptr;

CWinApp::CWinApp() { s_app = this; }

CWinApp::~CWinApp()
{
    if (s_app == this)
        s_app = nullptr;
}

int CWinApp::Run()
{
    if (!InitInstance())
        return -1;
    return MessageLoop();
}

BOOL CWinThread::OnIdle(LONG) { return FALSE; }

BOOL CWinThread::PreTranslateMessage(MSG& msg)
{
    // Walk from the target up to its top-level window; the first framework
    // window that takes the message consumes it (dialogs do their navigation).
    for (HWND hwnd = msg.hwnd; hwnd; hwnd = ::GetParent(hwnd)) {
        auto it = m_windows.find(hwnd);
        if (it != m_windows.end() && it->second->PreTranslateMessage(msg))
            return TRUE;
        if (!(::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD))
            break;
    }
    return FALSE;
}

int CWinThread::MessageLoop()
{
    MSG msg{};
    for (;;) {
        LONG idleCount = 0;
        while (!::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && OnIdle(idleCount))
            ++idleCount;
        BOOL status = ::GetMessageW(&msg, nullptr, 0, 0);
        if (status == -1)
            return -1;
        if (status == 0)
            return static_cast<int>(msg.wParam);
        if (!PreTranslateMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

} // namespace Win32xx
