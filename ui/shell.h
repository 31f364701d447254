// The shell calls of the program's windows, each behind a seam that in-process
// tests replace (as message boxes are replaced), because the notification area,
// a popup menu's modal loop and launched programs cannot be driven from a test.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <functional>

// Shell_NotifyIconW.
bool NotifyIcon(DWORD message, NOTIFYICONDATAW* data);
// TrackPopupMenu with TPM_RETURNCMD (added to `flags`): the chosen command id, 0 for none.
UINT ShowPopupMenu(HMENU menu, UINT flags, POINT at, HWND owner);
// ShellExecuteW; true when the system started it.
bool ShellOpen(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters, int show);

using NotifyIconHook = std::function<bool(DWORD message, const NOTIFYICONDATAW& data)>;
// Sees the menu as it would be shown; returns the command to choose, or 0.
using PopupMenuHook = std::function<UINT(HMENU menu, UINT flags, POINT at, HWND owner)>;
using ShellOpenHook = std::function<bool(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters, int show)>;
void SetNotifyIconHook(NotifyIconHook hook);
void SetPopupMenuHook(PopupMenuHook hook);
void SetShellOpenHook(ShellOpenHook hook);
