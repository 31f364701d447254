#include <iterator>

#include "core/app.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/resident_windows.h"
#include "core/settings.h"
#include "ipc/ipc_server.h"

bool RestartSynth()
{
    CMainApp* app = GetMainApp();
    HWND tray = app ? app->GetTray().GetHwnd() : nullptr;
    if (ShowMessage(GetText(L"warn.restartTsl"), MB_OKCANCEL | MB_ICONWARNING, tray) != IDOK)
        return false;
    for (;;) {
        int answer = g_Ipc ? g_Ipc->CheckOpenPorts() : IDCONTINUE;
        if (answer == IDCANCEL)
            return false;
        if (answer != IDTRYAGAIN)
            break;
    }
    // Closed first so the new instance passes the gate while this one shuts down.
    CloseSingleInstanceMutex();
    wchar_t path[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const std::wstring& folder = g_Settings ? g_Settings->InstallFolder() : std::wstring();
    if (::CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    // Even when the new instance could not start, this one closes as asked.
    if (tray)
        ::PostMessageW(tray, WM_CLOSE, 0, 0);
    return true;
}
