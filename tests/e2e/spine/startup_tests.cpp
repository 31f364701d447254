// Tessaline.exe started as a user starts it: its start-up messages, the
// single-instance gate and its hand-over, and an orderly end.
#include <gtest/gtest.h>

#include <memory>

#include "support/automation.h"
#include "support/installation.h"

using namespace tsltest;

namespace {

constexpr DWORD kStartTimeoutMs = 20000;

std::wstring SystemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : std::wstring();
    if (buffer)
        ::LocalFree(buffer);
    // The program places the text inside its own sentences, without the line
    // break the system ends it with.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

HWND WaitForTray(DWORD pid, DWORD timeoutMs = kStartTimeoutMs)
{
    WindowQuery q;
    q.className = L"MSGWND";
    q.title = L"Tessaline Systray Window";
    q.processId = pid;
    return WaitForWindow(q, timeoutMs);
}

// Reads the message box the process shows, presses OK and returns its text.
std::wstring AnswerMessageBox(ChildProcess& process, const std::string& screenshot = {})
{
    HWND box = WaitForMessageBox(process.Id(), kStartTimeoutMs);
    if (!box)
        return L"<no message box>";
    std::wstring text = MessageBoxText(box);
    std::wstring caption = WindowText(box);
    if (!screenshot.empty()) {
        // Found is not yet painted: let the box draw itself first.
        ::Sleep(500);
        ::RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        ::Sleep(200);
        SaveScreenshot(TestInstallation::ScreenshotPath(screenshot));
    }
    PressButton(box, IDOK);
    return caption + L"|" + text;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override { TestInstallation::DeleteRegistryPath(); }
    void TearDown() override { TestInstallation::DeleteRegistryPath(); }
};

TEST_F(Startup, WithoutRegistryValueExplainsAndExitsWithOne)
{
    ChildProcess p;
    ASSERT_TRUE(p.Start(TestInstallation::ProgramPath(), L""));
    std::wstring shown = AnswerMessageBox(p, "startup-no-registry");
    // The system's text for the failing call's code, then our explanation.
    EXPECT_EQ(shown, L"Tessaline initialization error|" + SystemText(ERROR_FILE_NOT_FOUND) +
                         L"\nError reading configuration registry key:\nHKLM\\SOFTWARE\\Ambrella Tessaline\\path");
    EXPECT_EQ(p.WaitExit(kStartTimeoutMs), std::optional<DWORD>(1));
}

TEST_F(Startup, WithRegistryValueButNoFileNamesTheMissingFile)
{
    TestInstallation install("no-config");
    TestInstallation::SetRegistryPath(install.Folder());
    ChildProcess p;
    ASSERT_TRUE(p.Start(TestInstallation::ProgramPath(), L""));
    EXPECT_EQ(AnswerMessageBox(p), L"Tessaline initialization error|ERROR: configuration file is missing or unreadable: " +
                                       install.ConfigPath());
    EXPECT_EQ(p.WaitExit(kStartTimeoutMs), std::optional<DWORD>(1));
}

// Slots of the 64-bit view holding the driver library.
int DriverSlots()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return 0;
    int count = 0;
    for (int i = 0; i <= 9; ++i) {
        std::wstring slot = i ? L"midi" + std::to_wstring(i) : L"midi";
        wchar_t value[64] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
        if (::RegQueryValueExW(key, slot.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ && std::wstring(value) == L"Tessaline.dll")
            ++count;
    }
    ::RegCloseKey(key);
    return count;
}

TEST_F(Startup, InstallWinsOverUninstallAndBothEndQuietly)
{
    ChildProcess p;
    ASSERT_TRUE(p.Start(TestInstallation::ProgramPath(), L"--uninstall --install"));
    EXPECT_EQ(p.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
    EXPECT_EQ(DriverSlots(), 1);
    EXPECT_EQ(TestInstallation::RunProgram(L"--uninstall"), std::optional<DWORD>(0));
    EXPECT_EQ(DriverSlots(), 0);
    EXPECT_EQ(TestInstallation::RunProgram(L"--install"), std::optional<DWORD>(0));
    EXPECT_EQ(DriverSlots(), 1);
}

// A synth started while the driver is not registered, with the question answered `button`.
class MissingDriver : public Startup {
protected:
    void SetUp() override
    {
        Startup::SetUp();
        install = std::make_unique<TestInstallation>("missing-driver");
        install->WriteConfig();
        TestInstallation::SetRegistryPath(install->Folder());
        ASSERT_EQ(TestInstallation::RunProgram(L"--uninstall"), std::optional<DWORD>(0));
    }
    void TearDown() override
    {
        // Later tests find the driver registered, as the installer leaves it.
        TestInstallation::RunProgram(L"--install");
        install.reset();
        Startup::TearDown();
    }
    std::wstring Answer(ChildProcess& p, int button)
    {
        HWND box = WaitForMessageBox(p.Id(), kStartTimeoutMs);
        if (!box)
            return L"<no message box>";
        std::wstring text = MessageBoxText(box);
        PressButton(box, button);
        // The next box must not be mistaken for this one.
        WaitUntil([&] { return !::IsWindow(box); }, kStartTimeoutMs);
        return text;
    }
    std::unique_ptr<TestInstallation> install;
};

TEST_F(MissingDriver, NoStartsTheSynthWithoutIt)
{
    ChildProcess p;
    ASSERT_TRUE(p.Start(TestInstallation::ProgramPath(), L""));
    std::wstring question = Answer(p, IDNO);
    EXPECT_EQ(question.rfind(L"The Tessaline MIDI driver is not installed", 0), 0u) << Narrow(question);
    HWND tray = WaitForTray(p.Id());
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(DriverSlots(), 0);
    ::PostMessageW(tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
}

TEST_F(MissingDriver, YesAsAdministratorInstallsItAndEndsWithZero)
{
    // Wine's user is an administrator: the program installs in its own process.
    ChildProcess p;
    ASSERT_TRUE(p.Start(TestInstallation::ProgramPath(), L""));
    Answer(p, IDYES);
    std::wstring done = Answer(p, IDOK);
    EXPECT_EQ(done, L"The Tessaline MIDI driver has been installed. Please start Tessaline again.");
    EXPECT_EQ(p.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
    EXPECT_EQ(DriverSlots(), 1);
}

TEST_F(Startup, ResidentSynthRunsHandsOverAndEndsWhenItsWindowCloses)
{
    TestInstallation install("resident");
    install.WriteConfig();
    TestInstallation::SetRegistryPath(install.Folder());

    ChildProcess first;
    ASSERT_TRUE(first.Start(TestInstallation::ProgramPath(), L"--some-unknown-argument"));
    HWND tray = WaitForTray(first.Id());
    ASSERT_NE(tray, nullptr) << "the tray window did not appear";
    EXPECT_FALSE(::IsWindowVisible(tray));

    // A second plain start hands its command line over and ends with 0.
    ChildProcess second;
    ASSERT_TRUE(second.Start(TestInstallation::ProgramPath(), L""));
    EXPECT_EQ(second.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
    EXPECT_TRUE(first.IsRunning());
    EXPECT_EQ(WaitForTray(first.Id(), 100), tray);

    // Closing the main window is an orderly end with exit code 0.
    ::PostMessageW(tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
}

TEST_F(Startup, SecondStartGivesUpAfterAboutFourSecondsWhenNoTrayWindowAppears)
{
    // The gate's mutex exists but no tray window ever comes: as while a first
    // instance is still starting up, or has hung before its window.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Tessaline_Synth");
    ASSERT_NE(mutex, nullptr);
    ChildProcess p;
    const ULONGLONG started = ::GetTickCount64();
    ASSERT_TRUE(p.Start(TestInstallation::ProgramPath(), L""));
    HWND box = WaitForMessageBox(p.Id(), kStartTimeoutMs);
    const ULONGLONG elapsed = ::GetTickCount64() - started;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"Another instance of Tessaline is already running, but can't find it.");
    EXPECT_EQ(WindowText(box), L"Ambrella Tessaline");
    EXPECT_GE(elapsed, 3800u);
    PressButton(box, IDOK);
    EXPECT_EQ(p.WaitExit(kStartTimeoutMs), std::optional<DWORD>(1));
    ::CloseHandle(mutex);
}

} // namespace
