#include "tray/systray.h"

#include "core/app.h"
#include "core/command_line.h"
#include "ipc/ipc_server.h"
#include "ui/deferred_delete.h"

#include <memory>

UINT CSystray::s_taskbarCreated = 0;

void CSystray::Create()
{
    // A hidden top-level window rather than a message-only one: FindWindow,
    // which a second instance uses, does not see message-only windows.
    CreateEx(0, kTrayClassName, kTrayWindowTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
    SetDeletionTarget(m_hWnd);
}

LRESULT CSystray::OnCopyData(const COPYDATASTRUCT* data)
{
    if (!data || data->dwData != kHandOverTag || !data->lpData)
        return FALSE;
    // The payload is UTF-16 with its terminating zero; never trust the sender's
    // zero to be there, read only within cbData.
    const auto* chars = static_cast<const wchar_t*>(data->lpData);
    size_t count = data->cbData / sizeof(wchar_t);
    std::wstring_view text(chars, count);
    if (size_t zero = text.find(L'\0'); zero != std::wstring_view::npos)
        text = text.substr(0, zero);
    // Opening windows from inside SendMessage would keep the sender waiting
    // for as long as a window takes to appear; defer to our own loop.
    auto* args = new ArgumentList(TokenizeCommandLine(text));
    if (!::PostMessageW(m_hWnd, kOpenWindowsMessage, 0, reinterpret_cast<LPARAM>(args)))
        delete args;
    return TRUE;
}

void CSystray::OnExitCommand()
{
    // Closing under connected programs cuts them off mid-song: the user decides.
    for (;;) {
        int answer = g_Ipc ? g_Ipc->CheckOpenPorts() : IDCONTINUE;
        if (answer == IDCANCEL)
            return;
        if (answer != IDTRYAGAIN)
            break;
    }
    ::SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CSystray::OnClose()
{
    CloseResidentWindows();
    Destroy();
}

LRESULT CSystray::WndProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lparam));
    case kOpenWindowsMessage: {
        std::unique_ptr<ArgumentList> args(reinterpret_cast<ArgumentList*>(lparam));
        OpenRequestedWindows(*args, true);
        return 0;
    }
    case WM_USER:
        // A modeless window hands its object over after its destruction. Any
        // program can post here: only objects registered for deletion go.
        DeletePendingWindow(wparam);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == kTrayCommandExit) {
            OnExitCommand();
            return 0;
        }
        break;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return FinalWindowProc(msg, wparam, lparam);
}
