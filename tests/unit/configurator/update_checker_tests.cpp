// The update checker against a local HTTPS service: answers good and bad,
// HTTP errors, unsafe download addresses, redirects, slow answers, an
// untrusted certificate; the request it sends; what it stores and when; the
// result posted to the asking window's thread; the automatic check at start-up.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "configurator/update_checker.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "support/automation.h"
#include "update_test_server.h"

using namespace tsltest_update;

namespace {

UpdateTestServer g_server;
bool g_serverUp = false;

constexpr UINT kResultMessage = WM_APP + 7;

class UpdateChecker : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_serverUp = g_server.Start(); }
    static void TearDownTestSuite() { g_server.Stop(); }

    void SetUp() override
    {
        ASSERT_TRUE(g_serverUp) << "the local HTTPS update service did not start";
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"tsl-update-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   tsltest::Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CreateDirectoryW(m_folder.c_str(), nullptr);
        std::ofstream(tsltest::Narrow(m_folder + L"\\Tessaline.conf")) << "[Update]\r\n";
        settings = std::make_unique<CSettings>(m_folder);
        ASSERT_TRUE(settings->Loaded());
    }
    void TearDown() override
    {
        settings.reset();
        DeleteFileW((m_folder + L"\\Tessaline.conf").c_str());
        RemoveDirectoryW(m_folder.c_str());
    }

    std::unique_ptr<CUpdateChecker> Checker(const std::wstring& endpoint)
    {
        return std::make_unique<CUpdateChecker>(*settings, endpoint, kUpdateSoftwareName, kCurrentVersion);
    }
    CheckResult Run(const std::wstring& scenario)
    {
        auto checker = Checker(g_server.Endpoint(scenario));
        CheckResult result = checker->Check();
        error = checker->LastError();
        return result;
    }
    // What an earlier check found, to see that a failed one keeps it.
    void StoreEarlierCheck()
    {
        settings->LastVersionFound.Set(L"2.14.5.0");
        settings->LastVersionURL.Set(L"https://localhost/earlier");
        settings->LastCheck.Set(L"2020-01-02");
    }
    void ExpectEarlierCheckKept()
    {
        EXPECT_EQ(settings->LastVersionFound.Get(), L"2.14.5.0");
        EXPECT_EQ(settings->LastVersionURL.Get(), L"https://localhost/earlier");
        EXPECT_EQ(settings->LastCheck.Get(), L"2020-01-02");
    }

    std::unique_ptr<CSettings> settings;
    std::wstring error;

private:
    std::wstring m_folder;
};

TEST_F(UpdateChecker, NewerVersionIsFoundAndStoredWithTodaysDate)
{
    EXPECT_EQ(Run(L"newer"), CheckResult::NewerAvailable);
    EXPECT_EQ(error, L"");
    EXPECT_EQ(settings->LastVersionFound.Get(), L"2.15.0.0");
    EXPECT_EQ(settings->LastVersionURL.Get(), L"https://localhost/download");
    EXPECT_EQ(settings->LastCheck.Get(), FormatDate(Today()));
}

TEST_F(UpdateChecker, SameOrShorterVersionIsNotNewer)
{
    EXPECT_EQ(Run(L"same"), CheckResult::NoNewer);
    // "2.14" reads as 2.14.0.0, older than 2.14.1.0.
    EXPECT_EQ(Run(L"short"), CheckResult::NoNewer);
    EXPECT_EQ(settings->LastVersionFound.Get(), L"2.14");
}

TEST_F(UpdateChecker, LastLineWithoutLineFeedAndCarriageReturnsAreRead)
{
    EXPECT_EQ(Run(L"nolf"), CheckResult::NewerAvailable);
    EXPECT_EQ(settings->LastVersionFound.Get(), L"2.15.0.0");
    // Keys in any letter case; the carriage returns of CR LF lines are no part of the values.
    EXPECT_EQ(Run(L"crlf"), CheckResult::NewerAvailable);
    EXPECT_EQ(settings->LastVersionURL.Get(), L"https://localhost/download");
}

TEST_F(UpdateChecker, FailuresKeepWhatTheLastSuccessfulCheckFound)
{
    StoreEarlierCheck();
    EXPECT_EQ(Run(L"missing"), CheckResult::Error);
    EXPECT_NE(error.find(L"updateurl"), std::wstring::npos);
    // A 404 or 500 page that happens to hold a well-formed answer is still a failure.
    EXPECT_EQ(Run(L"notfound"), CheckResult::Error);
    EXPECT_NE(error.find(L"404"), std::wstring::npos) << tsltest::Narrow(error);
    EXPECT_EQ(Run(L"error"), CheckResult::Error);
    EXPECT_NE(error.find(L"500"), std::wstring::npos) << tsltest::Narrow(error);
    ExpectEarlierCheckKept();
}

TEST_F(UpdateChecker, DownloadAddressThatIsNotHttpsIsRefused)
{
    StoreEarlierCheck();
    EXPECT_EQ(Run(L"fileurl"), CheckResult::Error);
    EXPECT_NE(error.find(L"file:///"), std::wstring::npos);
    ExpectEarlierCheckKept();
}

TEST_F(UpdateChecker, RedirectToHttpIsRefusedAndToHttpsFollowed)
{
    StoreEarlierCheck();
    EXPECT_EQ(Run(L"tohttp"), CheckResult::Error);
    EXPECT_NE(error.find(L"http://localhost"), std::wstring::npos) << tsltest::Narrow(error);
    ExpectEarlierCheckKept();
    EXPECT_EQ(Run(L"tohttps"), CheckResult::NewerAvailable);
    EXPECT_EQ(g_server.Requests().back().substr(0, 32), "/newer/checkupdates?moved=1\tAmbr");
}

TEST_F(UpdateChecker, AnswerInSmallSlowChunksIsReadToItsEnd)
{
    EXPECT_EQ(Run(L"slow"), CheckResult::NewerAvailable);
    EXPECT_EQ(settings->LastVersionURL.Get(), L"https://localhost/download");
}

TEST_F(UpdateChecker, UntrustedCertificateFailsWithTheWinInetError)
{
    StoreEarlierCheck();
    auto checker = Checker(g_server.UntrustedEndpoint(L"newer"));
    EXPECT_EQ(checker->Check(), CheckResult::Error);
    // "12xxx: text" of WinINet's own error.
    const std::wstring text = checker->LastError();
    EXPECT_EQ(text.substr(0, 2), L"12") << tsltest::Narrow(text);
    EXPECT_GT(text.size(), 8u) << tsltest::Narrow(text);
    ExpectEarlierCheckKept();
}

TEST_F(UpdateChecker, RequestCarriesNameVersionAndUserAgent)
{
    auto checker = Checker(g_server.Endpoint(L"same"));
    EXPECT_EQ(checker->QueryUrl(), g_server.Endpoint(L"same") + L"?swname=tessaline2&curver=2.14.1.0");
    ASSERT_EQ(checker->Check(), CheckResult::NoNewer);
    EXPECT_EQ(g_server.Requests().back(), "/same/checkupdates?swname=tessaline2&curver=2.14.1.0\tAmbrella Web Updater");
}

TEST_F(UpdateChecker, EndpointComesFromTheServerSetting)
{
    EXPECT_EQ(UpdateEndpoint(*settings), std::wstring(kDefaultUpdateServer) + L"/checkupdates");
    settings->UpdateServer.Set(L"https://localhost:8443/");
    EXPECT_EQ(UpdateEndpoint(*settings), L"https://localhost:8443/checkupdates");
    // A plain-http server is never asked.
    auto checker = Checker(L"http://localhost:1/checkupdates");
    EXPECT_EQ(checker->Check(), CheckResult::Error);
    EXPECT_NE(checker->LastError().find(L"https"), std::wstring::npos);
}

// A message-only window that records the results posted to it and the thread it saw them on.
struct ResultWindow {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == kResultMessage) {
            auto* self = reinterpret_cast<ResultWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            self->results.push_back(static_cast<CheckResult>(wp));
            self->threads.push_back(GetCurrentThreadId());
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    ResultWindow()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TslUpdateTestWindow";
        RegisterClassW(&wc);
        hwnd = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ResultWindow() { DestroyWindow(hwnd); }
    bool WaitForResults(size_t count, DWORD timeoutMs)
    {
        return tsltest::WaitUntil(
            [&] {
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&msg);
                return results.size() >= count;
            },
            timeoutMs);
    }
    HWND hwnd = nullptr;
    std::vector<CheckResult> results;
    std::vector<DWORD> threads;
};

TEST_F(UpdateChecker, ResultIsPostedToTheWindowAndASecondStartIsRefusedWhileRunning)
{
    ResultWindow window;
    auto checker = Checker(g_server.Endpoint(L"hang"));
    ASSERT_TRUE(checker->StartCheck(window.hwnd, kResultMessage));
    EXPECT_TRUE(checker->IsRunning());
    EXPECT_FALSE(checker->StartCheck(window.hwnd, kResultMessage));
    ASSERT_TRUE(window.WaitForResults(1, 20000));
    EXPECT_EQ(window.results, std::vector<CheckResult>{CheckResult::NewerAvailable});
    EXPECT_EQ(window.threads[0], GetCurrentThreadId()) << "the result is handled on the window's own thread";
    EXPECT_FALSE(checker->IsRunning());
    // Idle again: the next check starts.
    EXPECT_TRUE(checker->StartCheck(window.hwnd, kResultMessage));
    ASSERT_TRUE(window.WaitForResults(2, 20000));
}

TEST_F(UpdateChecker, DestroyingTheCheckerCancelsARunningCheck)
{
    ResultWindow window;
    auto checker = Checker(g_server.Endpoint(L"hang"));
    ASSERT_TRUE(checker->StartCheck(window.hwnd, kResultMessage));
    const ULONGLONG started = GetTickCount64();
    checker.reset();
    EXPECT_LT(GetTickCount64() - started, 6000u);
    // Nothing arrives from a checker that is gone.
    window.WaitForResults(1, 300);
    EXPECT_TRUE(window.results.empty());
}

class AutomaticCheck : public UpdateChecker {
protected:
    SYSTEMTIME Day(int daysFromToday)
    {
        SYSTEMTIME today = Today();
        FILETIME ft;
        SystemTimeToFileTime(&today, &ft);
        ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
        t.QuadPart += static_cast<ULONGLONG>(static_cast<long long>(daysFromToday) * 864000000000LL);
        ft = {t.LowPart, t.HighPart};
        SYSTEMTIME day;
        FileTimeToSystemTime(&ft, &day);
        return day;
    }
};

TEST_F(AutomaticCheck, DueCheckStartsAndANewerResultNotifies)
{
    settings->CheckFrequency.Set(7);
    settings->LastCheck.Set(FormatDate(Day(-7)));
    ResultWindow window;
    auto checker = Checker(g_server.Endpoint(L"newer"));
    EXPECT_EQ(StartAutomaticUpdateCheck(*checker, *settings, window.hwnd, kResultMessage, Today()),
              AutoCheckAction::CheckStarted);
    ASSERT_TRUE(window.WaitForResults(1, 20000));
    EXPECT_EQ(window.results, std::vector<CheckResult>{CheckResult::NewerAvailable});
    EXPECT_TRUE(TakeAutomaticCheckResult(window.results[0], *settings, Today()));
    EXPECT_EQ(settings->LastNotify.Get(), FormatDate(Today()));
    EXPECT_FALSE(TakeAutomaticCheckResult(CheckResult::Error, *settings, Today()));
}

TEST_F(AutomaticCheck, DueCheckFindingNothingNewerPostsNothing)
{
    settings->CheckFrequency.Set(7);
    ResultWindow window;
    auto checker = Checker(g_server.Endpoint(L"same"));
    EXPECT_EQ(StartAutomaticUpdateCheck(*checker, *settings, window.hwnd, kResultMessage, Today()),
              AutoCheckAction::CheckStarted);
    ASSERT_TRUE(tsltest::WaitUntil([&] { return !checker->IsRunning(); }, 20000));
    window.WaitForResults(1, 300);
    EXPECT_TRUE(window.results.empty()) << "the tray is told only of a newer version";
    EXPECT_EQ(settings->LastCheck.Get(), FormatDate(Today()));
}

TEST_F(AutomaticCheck, KnownNewerVersionNotifiesOncePerDayThenOnlyFlags)
{
    settings->CheckFrequency.Set(7);
    settings->LastCheck.Set(FormatDate(Day(-1)));
    settings->LastVersionFound.Set(L"2.15.0.0");
    settings->LastNotify.Set(FormatDate(Day(-1)));
    auto checker = Checker(g_server.Endpoint(L"newer"));
    EXPECT_EQ(StartAutomaticUpdateCheck(*checker, *settings, nullptr, kResultMessage, Today()),
              AutoCheckAction::NotifyNewer);
    EXPECT_EQ(settings->LastNotify.Get(), FormatDate(Today()));
    EXPECT_FALSE(checker->IsRunning());
    // Told today already: only the flag.
    EXPECT_EQ(StartAutomaticUpdateCheck(*checker, *settings, nullptr, kResultMessage, Today()),
              AutoCheckAction::FlagNewer);
}

TEST_F(AutomaticCheck, NeverCheckingStillFlagsAKnownNewerVersion)
{
    auto checker = Checker(g_server.Endpoint(L"newer"));
    EXPECT_EQ(StartAutomaticUpdateCheck(*checker, *settings, nullptr, kResultMessage, Today()), AutoCheckAction::None);
    settings->LastVersionFound.Set(L"2.15.0.0");
    EXPECT_EQ(StartAutomaticUpdateCheck(*checker, *settings, nullptr, kResultMessage, Today()),
              AutoCheckAction::FlagNewer);
    // An older version on the server is no news.
    settings->CheckFrequency.Set(7);
    settings->LastCheck.Set(FormatDate(Today()));
    settings->LastVersionFound.Set(L"2.13.0.0");
    EXPECT_EQ(StartAutomaticUpdateCheck(*checker, *settings, nullptr, kResultMessage, Today()), AutoCheckAction::None);
    EXPECT_FALSE(checker->IsRunning());
}

TEST(UpdateAnswer, VersionsAndDates)
{
    EXPECT_EQ(ParseVersion(L"2.14"), (Version{2, 14, 0, 0}));
    EXPECT_EQ(ParseVersion(L"3.-1.2.x"), (Version{3, 0, 2, 0}));
    EXPECT_EQ(FormatVersion(ParseVersion(L"2.15.0.1")), L"2.15.0.1");
    EXPECT_EQ(FormatDate(ParseStoredDate(L"2026-12-07")), L"2026-12-07");
    for (const wchar_t* bad : {L"2026-12-7", L"2026-12-07 ", L"2026/12/07", L"2026-02-31", L""})
        EXPECT_EQ(FormatDate(ParseStoredDate(bad)), L"1900-01-01") << tsltest::Narrow(bad);
    EXPECT_EQ(DaysBetween(ParseStoredDate(L"2026-12-01"), ParseStoredDate(L"2026-12-08")), 7);
    EXPECT_FALSE(IsHttpsUrl(L"file:///C:/x.exe"));
    EXPECT_FALSE(IsHttpsUrl(L"http://localhost/"));
    EXPECT_TRUE(IsHttpsUrl(L"HTTPS://localhost/x"));
}

} // namespace
