// The window-class framework the program's windows are built on: a C++ object
// per window, attached to its HWND, with a virtual window procedure.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace Win32xx {

// The toolkit reports its own failures (a window or thread that cannot be
// created) with this exception; the text says what failed.
class CWinException : public std::runtime_error {
public:
    CWinException(const char* what, DWORD error = GetLastError()) : std::runtime_error(what), m_error(error) {}
    DWORD GetError() const noexcept { return m_error; }

private:
    DWORD m_error;
};

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    HWND GetHwnd() const noexcept { return m_hWnd; }
    operator HWND() const noexcept { return m_hWnd; }
    bool IsWindow() const noexcept { return m_hWnd && ::IsWindow(m_hWnd); }

    // Registers `className` (once per process) with this framework's procedure
    // and creates the window. Throws CWinException on failure.
    HWND CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                  int x, int y, int width, int height, HWND parent, HMENU menu);
    void Destroy() noexcept;

    // The object of a window created by this framework, or null.
    static CWnd* FromHandle(HWND hwnd) noexcept;

    // Offered every message of this window's thread whose target is this window
    // or one of its children, before translation; true consumes it.
    virtual BOOL PreTranslateMessage(MSG& msg);

protected:
    // Override to handle messages; call FinalWindowProc for the default.
    virtual LRESULT WndProc(UINT msg, WPARAM wparam, LPARAM lparam);
    virtual LRESULT FinalWindowProc(UINT msg, WPARAM wparam, LPARAM lparam);
    // Called after WM_NCDESTROY, when the HWND is gone.
    virtual void OnFinalMessage() {}

    void Attach(HWND hwnd) noexcept;
    void Detach() noexcept;

    HWND m_hWnd = nullptr;
    WNDPROC m_prevProc = nullptr;

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
    friend class CDialog;
};

} // namespace Win32xx
