// The resident synth's face seen from outside, as a user meets it: hotkeys
// typed on the keyboard, the tray window's commands, the mixers it reopens,
// what reaches the audio from the mixer, and a desktop program posting
// garbage to the findable tray window.
#include <gtest/gtest.h>

#include "backend/tests/output/capture.h"
#include "e2e/channel/channel_fixture.h"
#include "support/screenshot.h"

#include <cmath>
#include <fstream>
#include <sstream>

using namespace tsltest;

namespace {

constexpr UINT kIconMessage = WM_USER + 1;
constexpr UINT kMixerCommand = 0x464;

std::string Conf(const std::string& advanced, const std::string& rest = {})
{
    return "[Advanced]\r\n" + advanced + rest +
           "[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=15\r\n";
}

void Keys(std::initializer_list<WORD> held, WORD key) { PressCombination(held, key); }

float Peak(const std::vector<float>& samples, size_t from, size_t to)
{
    float peak = 0;
    for (size_t i = from; i < to && i < samples.size(); ++i)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

class TrayE2E : public ::testing::Test {
protected:
    void SetUp() override { TestInstallation::DeleteRegistryPath(); }
    void TearDown() override
    {
        Stop();
        TestInstallation::DeleteRegistryPath();
    }

    void Start(TestInstallation& install, const std::string& conf, bool writeConf = true)
    {
        if (writeConf)
            install.WriteConfig(conf);
        TestInstallation::SetRegistryPath(install.Folder());
        ASSERT_TRUE(m_synth.Start(TestInstallation::ProgramPath(), L"", install.Folder()));
        ASSERT_NE(Tray(kStartTimeoutMs), nullptr) << "the synth did not come up";
    }
    void Stop()
    {
        if (!m_synth.IsRunning())
            return;
        if (HWND box = WaitForMessageBox(m_synth.Id(), 0))
            PressButton(box, IDCANCEL);
        if (HWND tray = Tray(100))
            PostMessageW(tray, WM_CLOSE, 0, 0);
        if (!m_synth.WaitExit(kStartTimeoutMs))
            m_synth.Kill();
    }
    HWND Tray(DWORD timeoutMs)
    {
        WindowQuery q;
        q.className = L"MSGWND";
        q.title = L"Tessaline Systray Window";
        q.processId = m_synth.Id();
        return WaitForWindow(q, timeoutMs);
    }
    HWND Mixer(int port, DWORD timeoutMs)
    {
        WindowQuery q;
        q.className = L"#32770";
        q.title = L"Tessaline #" + std::to_wstring(port) + L" - Mixer";
        q.processId = m_synth.Id();
        q.visibleOnly = true;
        return WaitForWindow(q, timeoutMs);
    }
    bool NoMixer(int port, DWORD timeoutMs)
    {
        WindowQuery q;
        q.className = L"#32770";
        q.title = L"Tessaline #" + std::to_wstring(port) + L" - Mixer";
        q.processId = m_synth.Id();
        return WaitForNoWindow(q, timeoutMs);
    }
    // Samples captured so far (the first channel).
    static size_t CapturedSamples()
    {
        const std::string path = tsl::test::CapturePath();
        return path.empty() ? 0 : ReadCapturedAudio(path).left.size();
    }
    // The loudest sample the synth played while `commands` ran in the test client.
    static float PeakWhilePlaying(const std::wstring& commands)
    {
        const size_t from = CapturedSamples();
        EXPECT_EQ(RunClient(commands), std::optional<DWORD>(0));
        Sleep(600);  // what was rendered ahead reaches the file
        return Peak(ReadCapturedAudio(tsl::test::CapturePath()).left, from, SIZE_MAX);
    }

    ChildProcess m_synth;
};

}  // namespace

TEST_F(TrayE2E, MixerHotkeyTypedOnTheKeyboardOpensAndClosesTheFirstMixer)
{
    TestInstallation install("tray-hotkey");
    Start(install, Conf("DevicesCount=2\r\n"));
    Keys({VK_CONTROL, VK_MENU}, 'M');
    HWND mixer = Mixer(1, 10000);
    ASSERT_NE(mixer, nullptr) << "Ctrl+Alt+M did not open the mixer";
    EXPECT_EQ(Mixer(2, 200), nullptr);
    Keys({VK_CONTROL, VK_MENU}, 'M');
    EXPECT_TRUE(NoMixer(1, 10000)) << "the second Ctrl+Alt+M did not close it";
}

TEST_F(TrayE2E, OpenMixersAreStoredAtExitAndExactlyThoseReopen)
{
    TestInstallation install("tray-open-status");
    Start(install, Conf("DevicesCount=3\r\n"));
    HWND tray = Tray(100);
    PostMessageW(tray, WM_COMMAND, kMixerCommand + 0, 0);
    PostMessageW(tray, WM_COMMAND, kMixerCommand + 2, 0);
    ASSERT_NE(Mixer(1, 10000), nullptr);
    ASSERT_NE(Mixer(3, 10000), nullptr);
    Stop();
    std::ifstream conf(Narrow(install.ConfigPath()), std::ios::binary);
    std::stringstream text;
    text << conf.rdbuf();
    std::string stored = text.str();
    stored.erase(std::remove(stored.begin(), stored.end(), '\0'), stored.end());  // UTF-16 or not
    EXPECT_NE(stored.find("OpenStatus=5"), std::string::npos) << stored;

    Start(install, {}, false);
    EXPECT_NE(Mixer(1, 10000), nullptr);
    EXPECT_NE(Mixer(3, 10000), nullptr);
    EXPECT_EQ(Mixer(2, 500), nullptr);
    Stop();

    // Fewer ports than the stored mask names: only those that exist.
    install.WriteConfig(Conf("DevicesCount=1\r\n", "[Mixer]\r\nOpenStatus=12\r\n"));
    Start(install, {}, false);
    EXPECT_EQ(Mixer(1, 1500), nullptr);
    EXPECT_TRUE(m_synth.IsRunning());
}

TEST_F(TrayE2E, GarbagePostedToTheTrayWindowByAnotherProgramIsIgnored)
{
    TestInstallation install("tray-garbage");
    Start(install, Conf(""));
    HWND tray = Tray(100);
    // Deletion requests and hand-overs carrying pointers that were never the synth's.
    for (WPARAM bogus : {WPARAM(0x12345678), WPARAM(1), WPARAM(0xDEADBEEFCAFEull), WPARAM(0)}) {
        PostMessageW(tray, WM_USER, bogus, 0);
        PostMessageW(tray, WM_APP + 1, bogus, static_cast<LPARAM>(bogus));
    }
    PostMessageW(tray, kIconMessage, 7, WM_LBUTTONUP);  // not our icon id: nothing
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(tray, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0);
    EXPECT_TRUE(m_synth.IsRunning());
    // Still whole: it opens a mixer and ends in order.
    PostMessageW(tray, WM_COMMAND, kMixerCommand, 0);
    EXPECT_NE(Mixer(1, 10000), nullptr);
    PostMessageW(tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(m_synth.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
}

TEST_F(TrayE2E, PanicHotkeySilencesEveryStream)
{
    if (tsl::test::CapturePath().empty())
        GTEST_SKIP() << "TSL_AUDIO_CAPTURE not set (run through tools/wine-run)";
    TestInstallation install("tray-panic");
    Start(install, Conf("DevicesCount=2\r\nAdditionalBuffer=20\r\n"));
    // Organs on both ports hold their notes for as long as they are down
    // (12 s: past the panic even when the clients start slowly).
    ChildProcess first, second;
    ASSERT_TRUE(StartClient(first, L"--open --short 13C0 --note 0 60 127 --sleep 12000 --close"));
    ASSERT_TRUE(StartClient(second, L"--port 1 --open --short 13C1 --note 1 67 127 --sleep 12000 --close"));
    // Under load the clients and the device's pace are slow to start: the
    // panic comes a second after the notes are first heard (waiting up to
    // 10 s for them), not at a fixed time.
    size_t beforePanic = 0;
    for (int waited = 0; waited < 10000; waited += 100) {
        Sleep(100);
        const auto heard = ReadCapturedAudio(tsl::test::CapturePath());
        const size_t now = heard.left.size(), quarter = std::min(now, size_t(heard.rate / 4));
        if (Peak(heard.left, now - quarter, now) > 0.02f) {
            Sleep(1000);
            beforePanic = CapturedSamples();
            break;
        }
    }
    ASSERT_NE(beforePanic, 0u) << "the held notes were never heard";
    Keys({VK_CONTROL, VK_MENU}, VK_SPACE);
    Sleep(1500);
    const size_t afterRelease = CapturedSamples();
    EXPECT_EQ(first.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
    EXPECT_EQ(second.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
    const auto heard = ReadCapturedAudio(tsl::test::CapturePath());
    const size_t oneSecond = static_cast<size_t>(heard.rate);
    EXPECT_GT(Peak(heard.left, beforePanic - oneSecond, beforePanic), 0.02f) << "the held notes were playing";
    EXPECT_LT(Peak(heard.left, afterRelease, afterRelease + oneSecond), 0.002f) << "still sounding after the panic";
}

TEST_F(TrayE2E, MuteAndSoloTypedIntoTheMixerReachTheAudio)
{
    if (tsl::test::CapturePath().empty())
        GTEST_SKIP() << "TSL_AUDIO_CAPTURE not set (run through tools/wine-run)";
    TestInstallation install("tray-mixer-audio");
    Start(install, Conf("AdditionalBuffer=20\r\n", "[Mixer]\r\nSoloRatio=0\r\n"));
    PostMessageW(Tray(100), WM_COMMAND, kMixerCommand, 0);
    HWND mixer = Mixer(1, 10000);
    ASSERT_NE(mixer, nullptr);
    const std::wstring note0 = L"--open --short 13C0 --note 0 60 110 --sleep 800 --note 0 60 0 --close";
    const std::wstring note1 = L"--open --short 13C1 --note 1 64 110 --sleep 800 --note 1 64 0 --close";
    EXPECT_GT(PeakWhilePlaying(note0), 0.02f) << "channel 1 plays before anything is muted";

    SetForegroundWindow(mixer);
    Keys({}, '1');
    Keys({}, 'M');
    Sleep(300);
    EXPECT_LT(PeakWhilePlaying(note0), 0.002f) << "muted channel 1 is heard";
    EXPECT_GT(PeakWhilePlaying(note1), 0.02f) << "channel 2 is not muted";

    SetForegroundWindow(mixer);
    Keys({}, 'M');
    Keys({}, '2');
    Keys({}, 'S');
    Sleep(300);
    EXPECT_LT(PeakWhilePlaying(note0), 0.002f) << "with channel 2 soloed at ratio 0, channel 1 is heard";
    EXPECT_GT(PeakWhilePlaying(note1), 0.02f) << "the soloed channel is silent";

    // Volume: End on the soloed channel silences it too.
    SetForegroundWindow(mixer);
    Keys({}, VK_END);
    Sleep(300);
    EXPECT_LT(PeakWhilePlaying(note1), 0.002f) << "volume 0 is heard";
}

TEST_F(TrayE2E, ScreenshotsOfTheMenuAndOfAMixerWithNotesPlaying)
{
    TestInstallation install("tray-screens");
    Start(install, Conf("DevicesCount=2\r\n"));
    HWND tray = Tray(100);
    PostMessageW(tray, WM_COMMAND, kMixerCommand, 0);
    HWND mixer = Mixer(1, 10000);
    ASSERT_NE(mixer, nullptr);
    SetWindowPos(mixer, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ChildProcess client;
    ASSERT_TRUE(StartClient(client, L"--open --short 30C0 --note 0 48 120 --short 21C1 --note 1 36 120 "
                                    L"--short 00C2 --note 2 64 110 --note 2 67 110 --note 9 36 127 --note 9 42 100 "
                                    L"--short 49C4 --note 4 79 100 --sleep 2500 --close"));
    Sleep(1200);
    EXPECT_TRUE(SaveWindowPng(mixer, ScreenshotPath("e2e-mixer-playing")));
    client.WaitExit(kClientTimeoutMs);

    // The icon's menu opens where the pointer is, above it.
    SetCursorPos(760, 700);
    PostMessageW(tray, kIconMessage, 0, WM_RBUTTONUP);
    WindowQuery q;
    q.className = L"#32768";
    q.processId = m_synth.Id();
    q.visibleOnly = true;
    HWND menu = WaitForWindow(q, 10000);
    ASSERT_NE(menu, nullptr) << "the menu did not open";
    Sleep(400);
    RECT r{};
    GetWindowRect(menu, &r);
    InflateRect(&r, 8, 8);
    EXPECT_TRUE(SaveScreenRectPng(r, ScreenshotPath("e2e-tray-menu")));
    Keys({}, VK_ESCAPE);
    EXPECT_TRUE(WaitForNoWindow(q, 5000));
}
