// The hidden main window of the resident synth and its notification-area
// icon. A second start of the program finds the window by class and title and
// hands its command line over to it; it receives the two global hotkeys, shows
// the icon's menu and balloons, and owns the windows opened from the menu.
// Closing it ends the process's message loop.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <deque>
#include <functional>

#include "core/command_line.h"
#include "tray/tray_menu.h"
#include "ui/win32xx/wnd.h"

inline constexpr wchar_t kTrayClassName[] = L"MSGWND";
inline constexpr wchar_t kTrayWindowTitle[] = L"Tessaline Systray Window";
// WM_COPYDATA tag of a hand-over from a second instance.
inline constexpr ULONG_PTR kHandOverTag = 1972;
// The icon's callback message and its resource.
inline constexpr UINT kTrayIconMessage = WM_USER + 1;
inline constexpr UINT kTrayIconResource = 137;
// Posted by any thread that learned an update is available (see PostUpdateAvailable).
inline constexpr UINT kUpdateFoundMessage = WM_APP + 2;

// What a balloon is about, so a click on it can be told apart later.
enum class BalloonKind : DWORD { None = 0, MixerHotkey = 1, Update = 2, SoundFontsOrPanicHotkey = 3 };

class CSystray : public Win32xx::CWnd {
public:
    // Creates the hidden window; throws Win32xx::CWinException when it cannot.
    void Create();
    // The message number of "TaskbarCreated", registered at start-up.
    static void SetTaskbarCreatedMessage(UINT message) noexcept { s_taskbarCreated = message; }

    // The automatic update check of start-up, run while the window is created
    // (before the hotkeys and the icon). The update checker installs it; it
    // may call SetUpdateAvailable at once, or start a background check that
    // later calls PostUpdateAvailable.
    static void SetStartupUpdateCheck(std::function<void(CSystray&)> check);
    // Whether a conversion runs now (the converter installs it): Exit is
    // disabled in the menu meanwhile.
    static void SetConversionRunningQuery(std::function<bool()> query);

    // (Re)registers both hotkeys from the settings; a combination that cannot
    // be registered is reported in a balloon. Run again after the hotkey
    // settings changed.
    void RegisterHotkeys();
    void UnregisterHotkeys();
    // The value registered under a hotkey id (kHotkeyMixer, kHotkeyPanic), 0 for none.
    DWORD RegisteredHotkey(int id) const noexcept { return id == 1 ? m_hotkeys[0] : id == 2 ? m_hotkeys[1] : 0; }

    // Window thread: raises the update-available flag (menu item), and with
    // `showBalloon` shows the update balloon and stores today's date in "LastNotify".
    void SetUpdateAvailable(bool showBalloon);
    // Any thread: the same with the balloon, through the window's own queue.
    void PostUpdateAvailable() const;
    bool UpdateAvailable() const noexcept { return m_updateAvailable; }

    void ShowBalloon(const std::wstring& text, DWORD infoFlags, BalloonKind kind);
    BalloonKind LastBalloon() const noexcept { return m_balloonKind; }

    // The menu as it would open now; the caller destroys it.
    HMENU BuildMenu() const;
    // Carries out a menu command; false for an id that is not one.
    bool RunCommand(UINT id);

protected:
    LRESULT WndProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

private:
    void OnCreate();
    LRESULT OnCopyData(const COPYDATASTRUCT* data);
    void OnIconNotify(UINT mouseMessage);
    void OnHotkey(int id);
    void OnClose();
    void OnExitCommand();
    void ShowMenu();
    void AddIcon();
    void ToggleMixers();
    void ReopenMixers();

    NOTIFYICONDATAW m_icon{};
    bool m_updateAvailable = false;
    DWORD m_hotkeys[2] = {};
    BalloonKind m_balloonKind = BalloonKind::None;
    // Command lines handed over by second starts, waiting for their turn in the loop.
    std::deque<ArgumentList> m_handedOver;

    static UINT s_taskbarCreated;
};
