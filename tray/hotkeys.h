// Hotkey values as the Windows hotkey control gives them: the virtual key in
// the low byte, the HOTKEYF_* modifier flags in the next byte, 0 for none.
#pragma once

#include <windows.h>

#include <string>

// The two system-wide hotkeys, registered on the tray window under these ids.
constexpr int kHotkeyMixer = 1;
constexpr int kHotkeyPanic = 2;

// MOD_* flags for RegisterHotKey; the extended-key flag has no MOD_ form and is dropped.
UINT HotkeyModifiers(DWORD value);
UINT HotkeyVirtualKey(DWORD value);
// "Ctrl + Alt + M": the names the keyboard layout gives the modifiers present,
// in the order Ctrl, Alt, Shift, each followed by " + ", then the key's name.
// Empty for 0.
std::wstring HotkeyText(DWORD value);
// The language text of a menu item without its "&" accelerator marks.
std::wstring WithoutAccelerators(std::wstring text);
