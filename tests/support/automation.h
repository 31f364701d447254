// Drives Windows programs the way a user would, for the end-to-end tests:
// starts them, finds their windows, reads and presses message boxes, waits for
// them to end, and takes screenshots. Every wait is bounded; every process a
// test starts is ended when its handle goes away.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace tsltest {

// "Z:\..." for a path of the Linux host (Wine maps Z: to /).
std::wstring HostPathToWindows(const std::string& hostPath);
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept;
    ~ChildProcess();

    // Starts `exe` with `arguments` appended to its quoted path. False when it cannot start.
    bool Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& workingFolder = {});
    // The exit code, or nothing when the process still runs after `timeoutMs`.
    std::optional<DWORD> WaitExit(DWORD timeoutMs);
    bool IsRunning() const;
    void Kill();
    DWORD Id() const noexcept { return m_pi.dwProcessId; }
    HANDLE Handle() const noexcept { return m_pi.hProcess; }

private:
    PROCESS_INFORMATION m_pi{};
};

struct WindowQuery {
    std::wstring className; // empty: any
    std::wstring title;     // empty: any
    DWORD processId = 0;    // 0: any
    bool visibleOnly = false;
};

std::vector<HWND> FindWindows(const WindowQuery& query);
// Polls until a matching top-level window exists; null after `timeoutMs`.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs);
// Polls until no matching window exists; false when one is still there.
bool WaitForNoWindow(const WindowQuery& query, DWORD timeoutMs);

std::wstring WindowText(HWND hwnd);
// The text a control holds (an edit box's contents), also in another process,
// where GetWindowText only sees the caption.
std::wstring ControlText(HWND control);
std::wstring ClassName(HWND hwnd);

// A message box ("#32770" dialog) of the process; null after `timeoutMs`.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs);
// The message text (the static control with id 0xFFFF) and the caption.
std::wstring MessageBoxText(HWND box);
// Presses the button with `id` (IDOK, IDCANCEL, IDYES...) as a click would.
bool PressButton(HWND dialog, int id);
// The texts of the dialog's buttons, in window order.
std::vector<std::wstring> ButtonTexts(HWND dialog);

// Types keys into the focused window of `hwnd`'s thread.
void SendKeys(HWND hwnd, const std::vector<WORD>& virtualKeys);
// Presses `key` on the keyboard while `held` (modifiers) are down, released in
// reverse order: what a global hotkey or a Ctrl+Tab sees.
void PressCombination(std::initializer_list<WORD> held, WORD key);
// A left click of the mouse at a point of the screen (which also activates the window there).
void ClickScreen(POINT at);

// Saves the whole screen as a 24-bit BMP file (under the build tree).
bool SaveScreenshot(const std::wstring& path);

// Polls `condition` every 20 ms until it holds or `timeoutMs` passes.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

} // namespace tsltest
