#include "core/single_instance.h"

#include "core/message_box.h"
#include "core/system_error.h"
#include "core/resident_windows.h"
#include "tray/systray.h"

namespace {
HANDLE g_mutex = nullptr;
constexpr int kFindAttempts = 5;
constexpr DWORD kFindPauseMs = 1000;
// A hung first instance must not hang the second one forever.
constexpr UINT kHandOverTimeoutMs = 30000;
} // namespace

void CloseSingleInstanceMutex()
{
    if (g_mutex) {
        ::CloseHandle(g_mutex);
        g_mutex = nullptr;
    }
}

bool HandOverCommandLine(HWND tray, const std::wstring& commandLine)
{
    COPYDATASTRUCT data{};
    data.dwData = kHandOverTag;
    data.cbData = static_cast<DWORD>((commandLine.size() + 1) * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(commandLine.c_str());
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(tray, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                 SMTO_ABORTIFHUNG, kHandOverTimeoutMs, &result) != 0;
}

GateResult PassSingleInstanceGate(const std::wstring& commandLine)
{
    g_mutex = ::CreateMutexW(nullptr, FALSE, kSingleInstanceMutexName);
    const DWORD error = ::GetLastError();
    if (!g_mutex) {
        // Not knowing whether another synth runs is not being the first:
        // two synths would both initialise the one shared ring.
        ShowMessage(L"Can't create the single-instance mutex.\n\nError: " + FormatSystemError(error), MB_OK | MB_ICONERROR);
        return GateResult::Failed;
    }
    if (error != ERROR_ALREADY_EXISTS)
        return GateResult::FirstInstance;

    // The first instance may still be starting up: its tray window comes last.
    for (int attempt = 1; attempt <= kFindAttempts; ++attempt) {
        if (HWND tray = ::FindWindowW(kTrayClassName, kTrayWindowTitle)) {
            HandOverCommandLine(tray, commandLine);
            CloseSingleInstanceMutex();
            return GateResult::HandedOver;
        }
        if (attempt < kFindAttempts)
            ::Sleep(kFindPauseMs);
    }
    CloseSingleInstanceMutex();
    ShowMessage(L"Another instance of Tessaline is already running, but can't find it.", MB_OK | MB_ICONERROR);
    return GateResult::InstanceNotFound;
}
