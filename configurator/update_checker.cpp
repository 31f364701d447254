#include "configurator/update_checker.h"

#include <wininet.h>

#include "core/settings.h"
#include "core/system_error.h"
#include "tray/systray.h"

CUpdateChecker* g_UpdateChecker = nullptr;

namespace {

constexpr DWORD kTimeoutMs = 15000;
constexpr int kMaxRedirects = 5;

// "%lu: %s" with WinINet's own text for its codes (12001-12200), which the
// system's message table does not hold.
std::wstring InternetErrorText(DWORD code)
{
    std::wstring text;
    if (HMODULE wininet = GetModuleHandleW(L"wininet.dll")) {
        wchar_t* buffer = nullptr;
        DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      wininet, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
        if (length && buffer)
            text.assign(buffer, length);
        if (buffer)
            LocalFree(buffer);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
            text.pop_back();
    }
    if (text.empty())
        text = SystemErrorText(code);
    return std::to_wstring(code) + L": " + text;
}

// The server's own words about the failure, when it gave any.
std::wstring ServerResponseText()
{
    wchar_t buffer[1001] = {};
    DWORD error = 0, length = 1000;
    if (!InternetGetLastResponseInfoW(&error, buffer, &length))
        return {};
    return std::wstring(buffer, std::min<DWORD>(length, 1000));
}

class CInternetHandle {
public:
    explicit CInternetHandle(HINTERNET handle = nullptr) : m_handle(handle) {}
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    ~CInternetHandle()
    {
        if (m_handle)
            InternetCloseHandle(m_handle);
    }
    HINTERNET Get() const { return m_handle; }

private:
    HINTERNET m_handle;
};

std::wstring QueryHeader(HINTERNET request, DWORD which)
{
    std::wstring text(512, L'\0');
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, which, text.data(), &size, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return {};
        text.assign(size / sizeof(wchar_t) + 1, L'\0');
        if (!HttpQueryInfoW(request, which, text.data(), &size, nullptr))
            return {};
    }
    text.resize(size / sizeof(wchar_t));
    return text;
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& relative)
{
    std::wstring combined(2048, L'\0');
    DWORD length = static_cast<DWORD>(combined.size());
    if (!InternetCombineUrlW(base.c_str(), relative.c_str(), combined.data(), &length, ICU_NO_ENCODE))
        return {};
    combined.resize(length);
    return combined;
}

} // namespace

CUpdateChecker::CUpdateChecker(CSettings& settings, std::wstring endpointUrl, std::wstring softwareName,
                               std::wstring currentVersion)
    : m_settings(settings), m_endpoint(std::move(endpointUrl)), m_softwareName(std::move(softwareName)),
      m_currentVersion(std::move(currentVersion))
{
}

CUpdateChecker::~CUpdateChecker()
{
    {
        // Closing the session ends whatever call the check thread is in.
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_session)
            InternetCloseHandle(static_cast<HINTERNET>(m_session));
        m_session = nullptr;
        m_window = nullptr;
    }
    if (m_thread && WaitForSingleObject(m_thread.Get(), 5000) == WAIT_TIMEOUT)
        TerminateThread(m_thread.Get(), 1); // a system call that ignores the closed handle: do not hang the exit
}

std::wstring CUpdateChecker::QueryUrl() const
{
    return m_endpoint + L"?swname=" + m_softwareName + L"&curver=" + m_currentVersion;
}

std::wstring CUpdateChecker::LastError() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_error;
}

bool CUpdateChecker::StartCheck(HWND window, UINT message, bool onlyNewer)
{
    bool idle = false;
    if (!m_running.compare_exchange_strong(idle, true))
        return false;
    if (m_thread)
        WaitForSingleObject(m_thread.Get(), INFINITE); // it has finished its work: only its return is left
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_window = window;
        m_message = message;
        m_onlyNewer = onlyNewer;
    }
    HANDLE thread = CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, nullptr);
    m_thread.Reset(thread);
    if (!thread) {
        m_running = false;
        return false;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_IDLE);
    ResumeThread(thread);
    return true;
}

DWORD WINAPI CUpdateChecker::ThreadProc(void* param)
{
    auto* self = static_cast<CUpdateChecker*>(param);
    const CheckResult result = self->Check();
    HWND window;
    UINT message;
    bool onlyNewer;
    {
        std::lock_guard<std::mutex> lock(self->m_lock);
        window = self->m_window;
        message = self->m_message;
        onlyNewer = self->m_onlyNewer;
    }
    // Idle before the result arrives, so its handler may start the next check.
    self->m_running = false;
    if (window && (!onlyNewer || result == CheckResult::NewerAvailable))
        PostMessageW(window, message, static_cast<WPARAM>(result), 0);
    return 0;
}

CheckResult CUpdateChecker::Fail(std::wstring error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_error = std::move(error);
    return CheckResult::Error;
}

bool CUpdateChecker::Fetch(void* sessionHandle, std::string& body)
{
    HINTERNET session = static_cast<HINTERNET>(sessionHandle);
    std::wstring url = QueryUrl();
    for (int redirects = 0;; ++redirects) {
        if (!IsHttpsUrl(url)) {
            Fail(L"Refused to connect to an address that is not secure (https): " + url);
            return false;
        }
        // Redirects are followed here, not by WinINet, so that none leads
        // from https to plain http; certificate errors are never ignored.
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                            INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                            INTERNET_FLAG_SECURE;
        CInternetHandle request(InternetOpenUrlW(session, url.c_str(), L"Pragma: no-cache\r\n",
                                                 static_cast<DWORD>(-1), flags, 0));
        if (!request.Get()) {
            const DWORD code = GetLastError();
            std::wstring error = InternetErrorText(code);
            if (std::wstring response = ServerResponseText(); !response.empty())
                error += L"\n" + response;
            Fail(error);
            return false;
        }
        DWORD status = 0, size = sizeof(status);
        if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                            nullptr)) {
            Fail(InternetErrorText(GetLastError()));
            return false;
        }
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            std::wstring next = ResolveUrl(url, QueryHeader(request.Get(), HTTP_QUERY_LOCATION));
            if (redirects >= kMaxRedirects || next.empty()) {
                Fail(L"The update server redirected too often, or nowhere.");
                return false;
            }
            if (!IsHttpsUrl(next)) {
                Fail(L"The update server redirected to an address that is not secure (https): " + next);
                return false;
            }
            url = next;
            continue;
        }
        if (status != 200) {
            Fail(L"The update server answered with HTTP status " + std::to_wstring(status) + L" " +
                 QueryHeader(request.Get(), HTTP_QUERY_STATUS_TEXT));
            return false;
        }
        // One read may return a part of the answer: read to its end.
        body.clear();
        char chunk[4096];
        for (;;) {
            DWORD read = 0;
            if (!InternetReadFile(request.Get(), chunk, sizeof(chunk), &read)) {
                Fail(InternetErrorText(GetLastError()));
                return false;
            }
            if (read == 0)
                return true;
            if (body.size() + read > kMaxAnswerBytes) {
                Fail(L"The update server's answer is too long to be an answer.");
                return false;
            }
            body.append(chunk, read);
        }
    }
}

CheckResult CUpdateChecker::Check()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_error.clear();
    }
    HINTERNET session = InternetOpenW(kUpdateUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session)
        return Fail(InternetErrorText(GetLastError()));
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT}) {
        DWORD timeout = kTimeoutMs;
        InternetSetOptionW(session, option, &timeout, sizeof(timeout));
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_session = session;
    }
    std::string body;
    const bool fetched = Fetch(session, body);
    {
        // Whoever takes the handle out closes it: here, or the destructor
        // when it cancelled the check.
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_session)
            InternetCloseHandle(static_cast<HINTERNET>(m_session));
        m_session = nullptr;
    }
    if (!fetched)
        return CheckResult::Error;

    UpdateAnswer answer = ParseUpdateAnswer(body);
    if (answer.lastVersion.empty() || answer.updateUrl.empty())
        return Fail(L"The update server's answer lacks \"lastversion\" or \"updateurl\".");
    if (!IsHttpsUrl(answer.updateUrl))
        return Fail(L"The update server gave a download address that is not secure (https): " + answer.updateUrl);

    // Only a successful check replaces what an earlier one found.
    m_settings.LastVersionFound.Set(answer.lastVersion);
    m_settings.LastVersionURL.Set(answer.updateUrl);
    m_settings.LastCheck.Set(FormatDate(Today()));
    return ParseVersion(answer.lastVersion) > ParseVersion(m_currentVersion) ? CheckResult::NewerAvailable
                                                                              : CheckResult::NoNewer;
}

std::wstring UpdateEndpoint(CSettings& settings)
{
    std::wstring server = settings.UpdateServer.Get();
    while (!server.empty() && server.back() == L'/')
        server.pop_back();
    return server + kUpdatePath;
}

AutoCheckAction StartAutomaticUpdateCheck(CUpdateChecker& checker, CSettings& settings, HWND window, UINT message,
                                          const SYSTEMTIME& today)
{
    const DWORD frequency = settings.CheckFrequency.Get();
    if (frequency != 0 &&
        DaysBetween(ParseStoredDate(settings.LastCheck.Get()), today) >= static_cast<long long>(frequency)) {
        checker.StartCheck(window, message, true);
        return AutoCheckAction::CheckStarted;
    }
    const std::wstring found = settings.LastVersionFound.Get();
    const Version current = ParseVersion(checker.CurrentVersion());
    // Only a newer version is news: an older one on the server (a withdrawn
    // release) must not call the user to "update".
    if (frequency != 0 && !found.empty() && ParseVersion(found) > current &&
        DaysBetween(ParseStoredDate(settings.LastNotify.Get()), today) >= 1) {
        settings.LastNotify.Set(FormatDate(today));
        return AutoCheckAction::NotifyNewer;
    }
    if (ParseVersion(found) > current)
        return AutoCheckAction::FlagNewer;
    return AutoCheckAction::None;
}

bool TakeAutomaticCheckResult(CheckResult result, CSettings& settings, const SYSTEMTIME& today)
{
    if (result != CheckResult::NewerAvailable)
        return false;
    settings.LastNotify.Set(FormatDate(today));
    return true;
}

void InstallStartupUpdateCheck()
{
    CSystray::SetStartupUpdateCheck([](CSystray& tray) {
        if (!g_UpdateChecker || !g_Settings)
            return;
        switch (StartAutomaticUpdateCheck(*g_UpdateChecker, *g_Settings, tray.GetHwnd(), kUpdateFoundMessage, Today())) {
        case AutoCheckAction::NotifyNewer:
            tray.SetUpdateAvailable(true);
            break;
        case AutoCheckAction::FlagNewer:
            tray.SetUpdateAvailable(false);
            break;
        default:
            break;
        }
    });
}
