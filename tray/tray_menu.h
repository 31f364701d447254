// The tray icon's menu, built afresh each time it opens from what holds at
// that moment: the ports that exist, the registered hotkeys, whether a
// conversion runs and whether an update waits.
#pragma once

#include <windows.h>

#include <string>

// Command ids of the menu (also accepted as WM_COMMAND by the tray window).
constexpr UINT kTrayCommandConfigure = 0x402;
constexpr UINT kTrayCommandPanic = 0x403;
constexpr UINT kTrayCommandUpdate = 0x404;
constexpr UINT kTrayCommandAbout = 0x405;
constexpr UINT kTrayCommandExit = 0x406;
constexpr UINT kTrayCommandConverter = 0x407;
// Port p's mixer: kTrayCommandMixer + p.
constexpr UINT kTrayCommandMixer = 0x464;

struct TrayMenuModel {
    DWORD portCount = 1;           // ports that exist
    std::wstring mixerHotkey;      // text of the registered mixer hotkey, empty for none
    std::wstring panicHotkey;      // text of the registered panic hotkey, empty for none
    bool showMixerAll = false;     // the mixer hotkey acts on every port
    bool exitEnabled = true;       // false while a conversion runs
    bool updateAvailable = false;
};

// A new popup menu; the caller destroys it.
HMENU BuildTrayMenu(const TrayMenuModel& model);
