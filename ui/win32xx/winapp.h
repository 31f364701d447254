// Application and thread classes: the message loop with idle processing and
// pre-translation that every window of a thread relies on.
#pragma once

#include <windows.h>

#include <map>

namespace Win32xx {

class CWnd;

class CWinThread {
public:
    CWinThread() = default;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
    virtual ~CWinThread() = default;

    // Start-up hook run just before the message loop; false ends the thread at once.
    virtual BOOL InitInstance() { return TRUE; }
    // Runs until WM_QUIT; returns its value, or -1 when fetching a message fails.
    virtual int MessageLoop();
    // Offered while no message waits, with a rising count; true asks for more.
    virtual BOOL OnIdle(LONG count);
    // Keyboard accelerators and dialog navigation of the window owning the message.
    virtual BOOL PreTranslateMessage(MSG& msg);

    void AddWindow(HWND hwnd, CWnd* wnd) { m_windows[hwnd] = wnd; }
    void RemoveWindow(HWND hwnd) { m_windows.erase(hwnd); }

protected:
    std::map<HWND, CWnd*> m_windows;
};

class CWinApp : public CWinThread {
public:
    CWinApp();
    ~CWinApp() override;

    // InitInstance, then the message loop; the result is the process exit code.
    virtual int Run();
    static CWinApp* GetApp() noexcept { return s_app; }
    HINSTANCE GetInstanceHandle() const noexcept { return ::GetModuleHandleW(nullptr); }

private:
    static CWinApp* s_app;
};

} // namespace Win32xx
