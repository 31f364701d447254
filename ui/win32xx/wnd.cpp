#include "ui/win32xx/wnd.h"

#include "ui/win32xx/winapp.h"

namespace Win32xx {

namespace {
constexpr wchar_t kObjectProp[] = L"Win32xx.CWnd";
thread_local CWnd* t_creating = nullptr;
}

CWnd::~CWnd()
{
    if (IsWindow()) {
        // The object is going away first: the window must not call back into it.
        HWND hwnd = m_hWnd;
        Detach();
        ::DestroyWindow(hwnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) noexcept
{
    return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kObjectProp)) : nullptr;
}

void CWnd::Attach(HWND hwnd) noexcept
{
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kObjectProp, this);
    if (CWinApp* app = CWinApp::GetApp())
        app->AddWindow(hwnd, this);
}

void CWnd::Detach() noexcept
{
    if (!m_hWnd)
        return;
    ::RemovePropW(m_hWnd, kObjectProp);
    if (CWinApp* app = CWinApp::GetApp())
        app->RemoveWindow(m_hWnd);
    m_hWnd = nullptr;
}

HWND CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menu)
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!::GetClassInfoExW(instance, className, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = StaticWindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = className;
        wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        if (!::RegisterClassExW(&wc))
            throw CWinException("Failed to register window class.");
    }
    t_creating = this;
    HWND hwnd = ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu, instance, nullptr);
    t_creating = nullptr;
    if (!hwnd)
        throw CWinException("Failed to create window.");
    return hwnd;
}

void CWnd::Destroy() noexcept
{
    if (IsWindow())
        ::DestroyWindow(m_hWnd);
}

BOOL CWnd::PreTranslateMessage(MSG&) { return FALSE; }

LRESULT CWnd::WndProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    return FinalWindowProc(msg, wparam, lparam);
}

LRESULT CWnd::FinalWindowProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (m_prevProc)
        return ::CallWindowProcW(m_prevProc, m_hWnd, msg, wparam, lparam);
    return ::DefWindowProcW(m_hWnd, msg, wparam, lparam);
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    CWnd* wnd = FromHandle(hwnd);
    if (!wnd && t_creating) {
        // First message of a window being created: bind it to its object.
        wnd = t_creating;
        t_creating = nullptr;
        wnd->Attach(hwnd);
    }
    if (!wnd)
        return ::DefWindowProcW(hwnd, msg, wparam, lparam);
    LRESULT result = 0;
    try {
        result = wnd->WndProc(msg, wparam, lparam);
    } catch (...) {
        // Exceptions never cross the system's window procedure.
        result = 0;
    }
    if (msg == WM_NCDESTROY) {
        wnd->Detach();
        wnd->OnFinalMessage();
    }
    return result;
}

} // namespace Win32xx
