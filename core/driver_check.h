// Start-up's check of the driver registration: a missing or damaged
// registration is offered for (re)installation, elevated when needed.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

inline constexpr DWORD kElevatedInstallWaitMs = 30000;

// Seams for what a test cannot vary under Wine: whether the user is an
// administrator, and the elevated start. An empty member means the real one.
struct DriverCheckHooks {
    std::function<bool()> isAdministrator;
    // Starts `program` elevated with `arguments` and waits at most `waitMs` for
    // it. Nothing when the start is refused or fails; otherwise its exit code
    // (a process still running after the wait gives a non-zero code).
    std::function<std::optional<DWORD>(const std::wstring& program, const std::wstring& arguments, DWORD waitMs)>
        runElevated;
};
void SetDriverCheckHooks(DriverCheckHooks hooks);

bool IsUserAdministrator();
std::optional<DWORD> RunElevated(const std::wstring& program, const std::wstring& arguments, DWORD waitMs);

// Checks the registration and, with the user's consent, installs it. An exit
// code when start-up must end here; nothing to go on.
std::optional<int> CheckDriverAtStartup();
