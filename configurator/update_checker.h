// Asks the maker's update service whether a newer version exists: one HTTPS
// GET on a thread of its own, the result stored in the [Update] settings and
// posted to a window, so that whoever asked handles it on its own thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "configurator/update_answer.h"
#include "ipc/kernel_handle.h"

class CSettings;

inline constexpr wchar_t kUpdateSoftwareName[] = L"tessaline2";
inline constexpr wchar_t kCurrentVersion[] = L"2.14.1.0";
inline constexpr wchar_t kUpdateUserAgent[] = L"Ambrella Web Updater";
// The service's path under the configured server ([Update] Server).
inline constexpr wchar_t kUpdatePath[] = L"/checkupdates";
// The answer is a few lines; anything much longer is not an answer.
inline constexpr size_t kMaxAnswerBytes = 64 * 1024;

class CUpdateChecker {
public:
    CUpdateChecker(CSettings& settings, std::wstring endpointUrl, std::wstring softwareName,
                   std::wstring currentVersion);
    CUpdateChecker(const CUpdateChecker&) = delete;
    CUpdateChecker& operator=(const CUpdateChecker&) = delete;
    // Cancels a running check (its connection is closed) and waits for its thread.
    ~CUpdateChecker();

    // Starts a check whose result is posted to `window` as `message` with the
    // CheckResult in wParam (with `onlyNewer`, only a NewerAvailable result is
    // posted). False, starting nothing, while a check runs.
    bool StartCheck(HWND window, UINT message, bool onlyNewer = false);
    bool IsRunning() const { return m_running.load(); }

    // The same check on the calling thread (the thread's body; tests).
    CheckResult Check();

    // Why the last check failed: the WinINet error code with its text, or what
    // was wrong with the answer. Empty after a success.
    std::wstring LastError() const;
    const std::wstring& CurrentVersion() const { return m_currentVersion; }
    // "%s?swname=%s&curver=%s"
    std::wstring QueryUrl() const;

private:
    static DWORD WINAPI ThreadProc(void* self);
    CheckResult Fail(std::wstring error);
    // The answer's bytes, following redirects to https addresses only.
    bool Fetch(void* session, std::string& body);

    CSettings& m_settings;
    const std::wstring m_endpoint, m_softwareName, m_currentVersion;
    std::atomic<bool> m_running{false};
    CKernelHandle m_thread;
    HWND m_window = nullptr;
    UINT m_message = 0;
    bool m_onlyNewer = false;
    mutable std::mutex m_lock; // the error text and the session handle
    std::wstring m_error;
    void* m_session = nullptr;
};

// The endpoint under the configured server: "<Server>/checkupdates".
std::wstring UpdateEndpoint(CSettings& settings);

// The process's checker (start-up creates it, shutdown destroys it).
extern CUpdateChecker* g_UpdateChecker;

// The automatic check when the synth starts (the tray window runs it when it
// is created, see InstallStartupUpdateCheck): what the tray is to do now.
enum class AutoCheckAction {
    None,
    CheckStarted, // a newer version found will be posted as `message`
    NotifyNewer,  // set the update-available flag and show the balloon (LastNotify is stored)
    FlagNewer,    // set the update-available flag, no balloon
};
AutoCheckAction StartAutomaticUpdateCheck(CUpdateChecker& checker, CSettings& settings, HWND window, UINT message,
                                          const SYSTEMTIME& today);
// The tray's start-up check: posts the tray kUpdateFoundMessage when the
// background check finds a newer version, or sets its flag at once.
void InstallStartupUpdateCheck();
// The handling of a result: true when a newer version was found,
// so the flag is set and the balloon shown (LastNotify is stored then).
bool TakeAutomaticCheckResult(CheckResult result, CSettings& settings, const SYSTEMTIME& today);
