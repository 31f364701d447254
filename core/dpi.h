// Entry points for per-monitor DPI awareness that older systems lack. Each is
// null when the running system does not have it; callers fall back to the
// DPI-unaware call.
#pragma once

#include <windows.h>

struct DpiFunctions {
    HRESULT(WINAPI* GetDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
    int(WINAPI* GetSystemMetricsForDpi)(int, UINT) = nullptr;
    BOOL(WINAPI* SetDialogDpiChangeBehavior)(HWND, int, int) = nullptr;
    BOOL(WINAPI* SystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;
    BOOL(WINAPI* AdjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
};

// Resolved once at start-up; the libraries stay loaded for the life of the process.
void ResolveDpiFunctions();
const DpiFunctions& Dpi();
