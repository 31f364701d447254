// The hidden main window of the resident synth. A second start of the program
// finds it by class and title and hands its command line over to it; closing
// it ends the process's message loop.
#pragma once

#include "ui/win32xx/wnd.h"

inline constexpr wchar_t kTrayClassName[] = L"MSGWND";
inline constexpr wchar_t kTrayWindowTitle[] = L"Tessaline Systray Window";
// WM_COPYDATA tag of a hand-over from a second instance.
inline constexpr ULONG_PTR kHandOverTag = 1972;
// Menu command: exit the synth (asks first while client programs are connected).
inline constexpr UINT kTrayCommandExit = 0x406;

class CSystray : public Win32xx::CWnd {
public:
    // Creates the hidden window; throws Win32xx::CWinException when it cannot.
    void Create();
    // The message number of "TaskbarCreated", registered at start-up.
    static void SetTaskbarCreatedMessage(UINT message) noexcept { s_taskbarCreated = message; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

private:
    LRESULT OnCopyData(const COPYDATASTRUCT* data);
    void OnClose();
    void OnExitCommand();

    static UINT s_taskbarCreated;
};
