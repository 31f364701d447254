// The single-instance gate: one resident synth per logon; a second start hands
// its command line to the first and ends.
#pragma once

#include <windows.h>

#include <string>

inline constexpr wchar_t kSingleInstanceMutexName[] = L"Tessaline_Synth";

enum class GateResult {
    FirstInstance,   // this process is the resident synth
    HandedOver,      // the running instance took the command line: exit 0
    InstanceNotFound, // the mutex exists but no tray window appeared: exit 1 (already told)
    Failed           // the mutex could not be made at all: exit 1 (already told)
};

// Creates the mutex "Tessaline_Synth"; when it already existed, looks for the
// running instance's tray window 5 times, 1000 ms apart, and hands `commandLine` over.
GateResult PassSingleInstanceGate(const std::wstring& commandLine);

// Sends the hand-over (WM_COPYDATA, tag 1972, the text with its terminating zero).
bool HandOverCommandLine(HWND tray, const std::wstring& commandLine);
