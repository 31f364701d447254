// The configurator in the running synth, driven from outside as a user would:
// a soundfont assigned to the second port is heard there at once while the
// first port's program keeps its font and its MIDI state, and a program put on
// the blacklist is refused by the driver.
#include "e2e/channel/audio_analysis.h"
#include "e2e/channel/channel_fixture.h"

#include "backend/tests/output/capture.h"
#include "synth/sf2_writer.h"

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tsltest;

namespace {

constexpr wchar_t kConfiguratorTitle[] = L"Ambrella Tessaline - 2.14.1";

// A looped tone of `period` frames per cycle at 44100 Hz, as preset `program`.
struct Tone {
    uint16_t program;
    uint32_t period;
    bool square;
};

std::wstring WriteFont(const std::string& name, const std::vector<Tone>& tones)
{
    std::vector<tsl::test::Sf2Sample> samples;
    std::vector<tsl::test::Sf2Preset> presets;
    for (const Tone& t : tones) {
        tsl::test::Sf2Sample s = tsl::test::SineSample(t.period, 200);
        if (t.square)
            for (size_t i = 0; i < s.pcm.size(); ++i)
                s.pcm[i] = (i % t.period) < t.period / 2 ? 12000 : -12000;
        tsl::test::Sf2Preset p;
        p.program = t.program;
        tsl::test::Sf2Zone zone;
        zone.sample = static_cast<int>(samples.size());
        zone.gens = {{54, 1}};  // loop
        p.zones.push_back(zone);
        samples.push_back(std::move(s));
        presets.push_back(std::move(p));
    }
    const std::string path = tsl::test::WriteTempFile(tsl::test::BuildSf2(samples, presets), name);
    return std::wstring(path.begin(), path.end());
}

std::string Narrowed(const std::wstring& text) { return Narrow(text); }

// Power of `hz` in the stretch (Hann-windowed Goertzel).
double PowerAt(const std::vector<float>& x, size_t from, size_t count, double rate, double hz)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < count; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(count - 1));
        const double s0 = x[from + i] * w + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

// The strongest power within `spread` (a fraction) of `hz`, in steps of
// 0.1 %. A capture that skipped frames can move a note's measured pitch by
// part of an analysis bin, and its third harmonic three times as far: at
// three times the measured pitch, a 100 ms window may sit near the Hann
// window's first null beside the harmonic's peak.
double PeakPowerNear(const std::vector<float>& x, size_t from, size_t count, double rate, double hz, double spread)
{
    double best = 0;
    for (double f = hz * (1 - spread); f <= hz * (1 + spread); f *= 1.001)
        best = std::max(best, PowerAt(x, from, count, rate, f));
    return best;
}

BOOL CALLBACK FindById(HWND child, LPARAM param)
{
    auto* wanted = reinterpret_cast<std::pair<int, HWND>*>(param);
    if (::GetDlgCtrlID(child) == wanted->first && !wanted->second) {
        wanted->second = child;
        return FALSE;
    }
    return TRUE;
}

HWND Descendant(HWND parent, int id)
{
    std::pair<int, HWND> wanted{id, nullptr};
    ::EnumChildWindows(parent, FindById, reinterpret_cast<LPARAM>(&wanted));
    return wanted.second;
}

std::string FileText(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class ConfiguratorE2E : public Channel {
protected:
    void Start(TestInstallation& install, const std::string& config)
    {
        install.WriteConfig(config);
        TestInstallation::SetRegistryPath(install.Folder());
        ASSERT_TRUE(m_synth.Start(TestInstallation::ProgramPath(), L"", install.Folder()));
        ASSERT_NE(Tray(kStartTimeoutMs), nullptr) << "the synth did not come up";
    }

    // Opens the configurator the way a second start of the program does.
    HWND OpenConfigurator(TestInstallation& install)
    {
        ChildProcess second;
        EXPECT_TRUE(second.Start(TestInstallation::ProgramPath(), L"--configurator", install.Folder()));
        EXPECT_EQ(second.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
        WindowQuery query;
        query.title = kConfiguratorTitle;
        query.processId = m_synth.Id();
        return WaitForWindow(query, kStartTimeoutMs);
    }

    HWND Mixer(DWORD timeoutMs)
    {
        WindowQuery query;
        query.className = L"#32770";
        query.title = L"Tessaline #1 - Mixer";
        query.processId = m_synth.Id();
        query.visibleOnly = true;
        return WaitForWindow(query, timeoutMs);
    }

    // Clicks the first tab (the configurator becomes the active window) and
    // moves `steps` tabs on with Ctrl+Tab, or back with Ctrl+Shift+Tab.
    static void GoToPage(HWND configurator, int steps)
    {
        RECT tabs{};
        GetWindowRect(Descendant(configurator, 1048), &tabs);
        ClickScreen({tabs.left + 12, tabs.top + 8});
        Sleep(200);
        for (int i = 0; i < std::abs(steps); ++i) {
            if (steps > 0)
                PressCombination({VK_CONTROL}, VK_TAB);
            else
                PressCombination({VK_CONTROL, VK_SHIFT}, VK_TAB);
        }
    }

    void CloseSynth()
    {
        PostMessageW(Tray(1000), WM_CLOSE, 0, 0);
        EXPECT_EQ(m_synth.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
    }
};

TEST_F(ConfiguratorE2E, AFontAssignedToPort2IsHeardThereAtOnceWhilePort1KeepsItsFontAndState)
{
    const std::string capture = tsl::test::CapturePath();
    if (capture.empty())
        GTEST_SKIP() << "TSL_AUDIO_CAPTURE not set (run through tools/wine-run)";
    DeleteFileA(capture.c_str());
    // Font A: sines (preset 0 at 441 Hz, preset 1 at 882 Hz); font B: square waves.
    const std::wstring sines = WriteFont("cfg-e2e-sines.sf2", {{0, 100, false}, {1, 50, false}});
    const std::wstring squares = WriteFont("cfg-e2e-squares.sf2", {{0, 100, true}, {1, 50, true}});
    TestInstallation install("configurator-ports");
    Start(install, "[Advanced]\r\nDevicesCount=2\r\nAdditionalBuffer=50\r\n[SoundFonts]\r\nsf1=" + Narrowed(sines) +
                       "\r\nsf1.enabled=3\r\nsf2=" + Narrowed(squares) + "\r\n");

    SharedEvent c1First(L"c1-first"), c2Start(L"c2-start"), c2First(L"c2-first"), c1Go(L"c1-go"), c1Done(L"c1-done"),
        c2Go(L"c2-go"), c2Done(L"c2-done"), end(L"end");
    const std::wstring note = L"--note 0 60 100 --sleep 500 --note 0 60 0 --sleep 400 ";
    // Port 1: program 1 and a channel volume of 80 before the change, then only a note.
    ChildProcess client1, client2;
    ASSERT_TRUE(StartClient(client1, L"--port 0 --open --short 1C0 --short 5007B0 --sleep 100 " + note +
                                         L"--signal-event " + c1First.Name() + L" --wait-event " + c1Go.Name() + L" " +
                                         note + L"--signal-event " + c1Done.Name() + L" --wait-event " + end.Name() +
                                         L" --close"));
    ASSERT_TRUE(StartClient(client2, L"--port 1 --open --wait-event " + c2Start.Name() + L" " + note +
                                         L"--signal-event " + c2First.Name() + L" --wait-event " + c2Go.Name() + L" " +
                                         note + L"--signal-event " + c2Done.Name() + L" --wait-event " + end.Name() +
                                         L" --close"));
    ASSERT_TRUE(c1First.Wait(kClientTimeoutMs));
    c2Start.Signal();
    ASSERT_TRUE(c2First.Wait(kClientTimeoutMs));

    // In the configurator: turn port 2 off for the sines and on for the squares, then Apply.
    HWND configurator = OpenConfigurator(install);
    ASSERT_NE(configurator, nullptr) << "no configurator";
    HWND list = Descendant(configurator, 1000);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
    // Sent, not posted: a posted key waits behind the next sent selection
    // change and would toggle the wrong row.
    for (int item : {0, 1}) {
        SendMessageW(list, LB_SETSEL, FALSE, -1);
        SendMessageW(list, LB_SETSEL, TRUE, item);
        SendMessageW(list, WM_KEYDOWN, '2', 1);
        SendMessageW(list, WM_KEYUP, '2', 0xC0000001);
    }
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(configurator, 1051)); }, 5000));
    ASSERT_TRUE(PressButton(configurator, 1051));
    ASSERT_TRUE(WaitUntil([&] {
        const std::string conf = FileText(install.ConfigPath());
        return conf.find("sf1.enabled=1") != std::string::npos && conf.find("sf2.enabled=2") != std::string::npos;
    }, 10000)) << FileText(install.ConfigPath());

    c1Go.Signal();
    ASSERT_TRUE(c1Done.Wait(kClientTimeoutMs));
    c2Go.Signal();
    ASSERT_TRUE(c2Done.Wait(kClientTimeoutMs));
    end.Signal();
    EXPECT_EQ(client1.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
    EXPECT_EQ(client2.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
    CloseSynth();

    const CapturedAudio heard = ReadCapturedAudio(capture);
    ASSERT_GT(heard.rate, 0) << "no capture";
    // The captured device takes the audio at an uneven pace, so a note held
    // for half a second may be heard for as little as a few tens of
    // milliseconds: no stretch is too short to be a note here.
    const std::vector<Segment> segments = SoundingSegments(heard, 2);
    std::ostringstream found;
    for (const Segment& s : segments)
        found << " [" << s.begin / heard.rate << " s, " << (s.end - s.begin) / heard.rate << " s]";
    ASSERT_EQ(segments.size(), 4u) << "sounding stretches:" << found.str();

    struct Heard {
        double hz, level, thirdHarmonic;  // the third harmonic's power relative to the fundamental's
    };
    std::vector<Heard> notes;
    for (const Segment& s : segments) {
        // The steady part of the note, or at least 100 ms from its start
        // (a short note's release keeps its pitch and overtones).
        const Sustain steady = SustainedPart(heard, s);
        const size_t count = std::min(std::max(steady.count, size_t(heard.rate * 0.1)), heard.left.size() - steady.from);
        const double hz = DominantHz(heard.left, steady.from, count, heard.rate);
        notes.push_back({hz, steady.level,
                         PeakPowerNear(heard.left, steady.from, count, heard.rate, 3 * hz, 0.03) /
                             PowerAt(heard.left, steady.from, count, heard.rate, hz)});
    }
    std::ostringstream measured;
    for (const Heard& n : notes)
        measured << " [" << n.hz << " Hz, third harmonic " << n.thirdHarmonic << ", level " << n.level << "]";
    SCOPED_TRACE("notes heard:" + measured.str() + "; stretches:" + found.str());
    // Pitches within 2 %: a skipped frame in the capture can move a peak by
    // part of a bin (10 Hz over 100 ms), while the wrong preset or font would
    // be an octave away.
    // Port 1 before and after: program 1 of the sines (882 Hz), at the same channel volume.
    EXPECT_NEAR(notes[0].hz, 882, 882 * 0.02);
    EXPECT_NEAR(notes[2].hz, 882, 882 * 0.02);
    EXPECT_LT(notes[0].thirdHarmonic, 0.01);
    EXPECT_LT(notes[2].thirdHarmonic, 0.01);
    // A note the capture squeezed to a few tens of milliseconds, release
    // included, was let go within the block it began in, before its onset
    // ramp had risen all the way, and its steady part is a window or two:
    // its level tells nothing about the channel volume then.
    const auto held = [&](const Segment& s) { return double(s.end - s.begin) >= 0.15 * heard.rate; };
    if (held(segments[0]) && held(segments[2])) {
        EXPECT_NEAR(notes[2].level / notes[0].level, 1.0, 0.15);
    }
    // Port 2: the sine before, the square after (a third harmonic of a third of the fundamental).
    EXPECT_NEAR(notes[1].hz, 441, 441 * 0.02);
    EXPECT_NEAR(notes[3].hz, 441, 441 * 0.02);
    EXPECT_LT(notes[1].thirdHarmonic, 0.01);
    EXPECT_GT(notes[3].thirdHarmonic, 0.05);
}

TEST_F(ConfiguratorE2E, AProgramPutOnTheBlacklistIsRefusedByTheDriver)
{
    TestInstallation install("configurator-blacklist");
    Start(install, "[Advanced]\r\n[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=1\r\n");
    EXPECT_EQ(RunClient(L"--open --close"), std::optional<DWORD>(0));

    HWND configurator = OpenConfigurator(install);
    ASSERT_NE(configurator, nullptr);
    // The Options page's "Blocked programs" button.
    HWND button = Descendant(configurator, 1085);
    ASSERT_NE(button, nullptr);
    PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(1085, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    WindowQuery query;
    query.title = L"Blocked Programs";
    query.processId = m_synth.Id();
    HWND editor = WaitForWindow(query, 10000);
    ASSERT_NE(editor, nullptr);
    const std::wstring typed = L"C:\\Somewhere\\TSL-TEST-CLIENT\r\n";
    SendMessageW(GetDlgItem(editor, 1086), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    ASSERT_TRUE(PressButton(editor, IDOK));
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(install.ConfigPath()).find("ClientBlacklist=tsl-test-client.exe") != std::string::npos;
    }, 10000)) << FileText(install.ConfigPath());

    EXPECT_EQ(RunClient(L"--expect-open-fail"), std::optional<DWORD>(0));
    CloseSynth();
}

constexpr char kTimGm[] = "[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=1\r\n";

TEST_F(ConfiguratorE2E, ANewMixerHotkeySavedOnTheShortcutsPageWorksAndTheOldOneNoLonger)
{
    TestInstallation install("configurator-shortcuts");
    Start(install, std::string("[Advanced]\r\n") + kTimGm);
    HWND configurator = OpenConfigurator(install);
    ASSERT_NE(configurator, nullptr);
    // The Shortcuts page, fourth, is three Ctrl+Tabs away from the first.
    GoToPage(configurator, 3);
    HWND key = Descendant(configurator, 1036);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(key) != FALSE; }, 5000)) << "the Shortcuts page is not shown";
    // A plain P typed into the mixer's hotkey becomes Ctrl+P.
    RECT field{};
    GetWindowRect(key, &field);
    ClickScreen({field.left + 5, field.top + 5});
    Sleep(200);
    PressCombination({}, 'P');
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(configurator, 1051)); }, 5000));
    ASSERT_TRUE(PressButton(configurator, 1051));
    ASSERT_TRUE(WaitUntil([&] { return FileText(install.ConfigPath()).find("ShowMixer=592") != std::string::npos; },
                          10000)) << FileText(install.ConfigPath());
    // The hotkeys are registered again after every page saved, on the
    // configurator's thread: once it answers, that is done.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(configurator, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);

    PressCombination({VK_CONTROL, VK_MENU}, 'M');  // the old combination
    EXPECT_EQ(Mixer(1000), nullptr) << "Ctrl+Alt+M still opens the mixer";
    PressCombination({VK_CONTROL}, 'P');
    EXPECT_NE(Mixer(10000), nullptr) << "Ctrl+P did not open the mixer";
    CloseSynth();
}

TEST_F(ConfiguratorE2E, AboutStatusFollowsAProgramConnectingAndLeaving)
{
    TestInstallation install("configurator-about");
    Start(install, std::string("[Advanced]\r\n") + kTimGm);
    HWND configurator = OpenConfigurator(install);
    ASSERT_NE(configurator, nullptr);
    // Ctrl+Shift+Tab on the first page wraps to the last one, About.
    GoToPage(configurator, -1);
    HWND status = Descendant(configurator, 1071);
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(status) != FALSE; }, 5000)) << "the About page is not shown";
    ASSERT_TRUE(WaitUntil([&] { return ControlText(status).find(L"* <free>") != std::wstring::npos; }, 5000))
        << Narrow(ControlText(status));
    EXPECT_NE(ControlText(status).find(L"Tessaline: 2.14.1 (x64)"), std::wstring::npos);

    SharedEvent opened(L"about-open"), done(L"about-done");
    ChildProcess client;
    ASSERT_TRUE(StartClient(client, L"--open --signal-event " + opened.Name() + L" --wait-event " + done.Name() +
                                        L" --close"));
    ASSERT_TRUE(opened.Wait(kClientTimeoutMs));
    const std::wstring line = L"tsl-test-client.exe (#" + std::to_wstring(client.Id()) + L")";
    EXPECT_TRUE(WaitUntil([&] {
        const std::wstring text = ControlText(status);
        return text.find(line) != std::wstring::npos && text.find(L"* <free>") == std::wstring::npos;
    }, 5000)) << Narrow(ControlText(status));
    done.Signal();
    EXPECT_EQ(client.WaitExit(kClientTimeoutMs), std::optional<DWORD>(0));
    EXPECT_TRUE(WaitUntil([&] {
        const std::wstring text = ControlText(status);
        return text.find(line) == std::wstring::npos && text.find(L"* <free>") != std::wstring::npos;
    }, 5000)) << Narrow(ControlText(status));
    CloseSynth();
}

}  // namespace
