// The tray window in the test process over a real engine on the no-sound
// device: its icon record, menu, commands, double click, the shell's restart,
// the mixers it reopens and the mask it stores, and its hotkeys.
#include <gtest/gtest.h>

#include "core/resident_windows.h"
#include "mixer/mixer_dialog.h"
#include "mixer/mixer_menu.h"
#include "support/app_fixture.h"
#include "support/automation.h"
#include "synth/synth_engine.h"
#include "tray/hotkeys.h"
#include "tray/systray.h"
#include "ui/deferred_delete.h"
#include "ui/shell.h"

using namespace tsltest;

namespace {

struct NotifyCall {
    DWORD message;
    NOTIFYICONDATAW data;
};

class Tray : public ::testing::Test {
protected:
    // `advanced`: lines of [Advanced]; `rest`: further sections.
    void Start(const std::string& advanced, const std::string& rest = {}, bool withFont = true)
    {
        std::string conf = "[Advanced]\r\nOutputDevice=0\r\n" + advanced + rest;
        if (withFont)
            conf += "[SoundFonts]\r\nsf1=Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2\r\nsf1.enabled=15\r\nsf1.preload=0\r\n";
        config = std::make_unique<TestConfig>(conf);
        SetNotifyIconHook([this](DWORD message, const NOTIFYICONDATAW& data) {
            calls.push_back({message, data});
            return true;
        });
        SetPopupMenuHook([this](HMENU menu, UINT, POINT, HWND) {
            ++menus;
            return onMenu ? onMenu(menu) : 0u;
        });
        ResidentWindows().SetConfiguratorFactory([this](HWND) -> Win32xx::CWnd* {
            ++configurators;
            return nullptr;
        });
        ResidentWindows().SetConverterFactory([this](HWND) -> Win32xx::CWnd* {
            ++converters;
            return nullptr;
        });
        engine = std::make_unique<SynthEngine>();
        g_Engine = engine.get();
        ASSERT_TRUE(engine->Initialize());
        tray = std::make_unique<CSystray>();
        tray->Create();
        Pump();
    }
    void TearDown() override
    {
        if (tray && tray->IsWindow())
            SendMessageW(*tray, WM_CLOSE, 0, 0);
        Pump();
        DeleteAllPendingWindows();
        tray.reset();
        if (engine) {
            engine->Shutdown();
            engine->DestroyPorts();
        }
        g_Engine = nullptr;
        engine.reset();
        SetNotifyIconHook(nullptr);
        SetPopupMenuHook(nullptr);
        ResidentWindows().SetConfiguratorFactory(nullptr);
        ResidentWindows().SetConverterFactory(nullptr);
        config.reset();
    }

    void Icon(UINT mouseMessage) { SendMessageW(*tray, kTrayIconMessage, 0, mouseMessage); }
    bool MixerOpen(DWORD port) const { return engine->Port(port)->MixerWindowHandle.load() != nullptr; }
    std::vector<NotifyCall> CallsOf(DWORD message) const
    {
        std::vector<NotifyCall> found;
        for (const auto& call : calls)
            if (call.message == message)
                found.push_back(call);
        return found;
    }
    std::vector<std::wstring> Balloons() const
    {
        std::vector<std::wstring> texts;
        for (const auto& call : calls)
            if (call.message == NIM_MODIFY && (call.data.uFlags & NIF_INFO))
                texts.push_back(call.data.szInfo);
        return texts;
    }

    std::unique_ptr<TestConfig> config;
    std::unique_ptr<SynthEngine> engine;
    std::unique_ptr<CSystray> tray;
    std::vector<NotifyCall> calls;
    std::function<UINT(HMENU)> onMenu;
    int menus = 0, configurators = 0, converters = 0;
};

}  // namespace

TEST_F(Tray, IconIsAddedWithItsTipAndRemovedAtTheEnd)
{
    Start("");
    auto added = CallsOf(NIM_ADD);
    ASSERT_EQ(added.size(), 1u);
    const NOTIFYICONDATAW& icon = added[0].data;
    EXPECT_EQ(icon.cbSize, sizeof(NOTIFYICONDATAW)) << "the size of this build's record";
    EXPECT_EQ(icon.hWnd, tray->GetHwnd());
    EXPECT_EQ(icon.uID, 0u);
    EXPECT_EQ(icon.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(icon.uCallbackMessage, 0x401u);
    EXPECT_NE(icon.hIcon, nullptr);
    EXPECT_STREQ(icon.szTip, L"Ambrella Tessaline - 2.14.1");
    EXPECT_TRUE(Balloons().empty()) << "every port has a soundfont";

    SendMessageW(*tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(CallsOf(NIM_DELETE).size(), 1u);
    EXPECT_FALSE(tray->IsWindow());
}

TEST_F(Tray, MissingSoundfontsAreToldInABalloonAndAClickOpensTheSettings)
{
    Start("", {}, false);
    ASSERT_EQ(Balloons().size(), 1u);
    EXPECT_EQ(Balloons()[0].substr(0, 36), L"At least one MIDI port has no soundf");
    const auto modify = CallsOf(NIM_MODIFY).back().data;
    EXPECT_EQ(modify.dwInfoFlags, static_cast<DWORD>(NIIF_ERROR));
    EXPECT_STREQ(modify.szInfoTitle, L"Ambrella Tessaline");
    EXPECT_EQ(tray->LastBalloon(), BalloonKind::SoundFontsOrPanicHotkey);
    Icon(NIN_BALLOONUSERCLICK);
    EXPECT_EQ(configurators, 1);
}

TEST_F(Tray, MenuOpensOnEitherButtonWithTheHotkeysAndRunsTheChosenCommand)
{
    Start("DevicesCount=3\r\n");
    std::vector<std::wstring> texts;
    onMenu = [&](HMENU menu) {
        wchar_t text[128] = {};
        HMENU ports = GetSubMenu(menu, 0);
        for (int i = 0; i < GetMenuItemCount(ports); ++i) {
            GetMenuStringW(ports, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
            texts.push_back(text);
        }
        return kTrayCommandMixer + 2;
    };
    Icon(WM_RBUTTONUP);
    EXPECT_EQ(menus, 1);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], L"Tessaline #1 (" + HotkeyText(0x64D) + L")");
    EXPECT_EQ(texts[1], L"Tessaline #2");
    EXPECT_TRUE(MixerOpen(2));
    EXPECT_FALSE(MixerOpen(0));
    onMenu = [](HMENU) { return kTrayCommandConverter; };
    Icon(WM_LBUTTONUP);
    EXPECT_EQ(menus, 2);
    EXPECT_EQ(converters, 1);
}

TEST_F(Tray, EveryCommandById)
{
    Start("DevicesCount=2\r\n");
    SendMessageW(*tray, WM_COMMAND, kTrayCommandMixer + 1, 0);
    EXPECT_TRUE(MixerOpen(1));
    SendMessageW(*tray, WM_COMMAND, kTrayCommandMixer + 3, 0);  // no such port: nothing
    engine->Port(0)->ChannelActive[4] = 1;
    SendMessageW(*tray, WM_COMMAND, kTrayCommandPanic, 0);
    EXPECT_EQ(engine->Port(0)->ChannelActive[4].load(), 0u) << "panic silences every channel of every port";
    for (UINT id : {kTrayCommandConfigure, kTrayCommandUpdate, kTrayCommandAbout})
        SendMessageW(*tray, WM_COMMAND, id, 0);
    EXPECT_EQ(configurators, 3);
    SendMessageW(*tray, WM_COMMAND, kTrayCommandConverter, 0);
    EXPECT_EQ(converters, 1);
    // Exit with no client connected closes at once, storing the open mixers.
    SendMessageW(*tray, WM_COMMAND, kTrayCommandExit, 0);
    EXPECT_FALSE(tray->IsWindow());
    EXPECT_EQ(config->Stored(L"Mixer", L"OpenStatus"), L"2");
    EXPECT_FALSE(MixerOpen(1));
}

TEST_F(Tray, DoubleClickOpensTheFirstMixerWithoutAMenu)
{
    Start("");
    Icon(WM_LBUTTONDBLCLK);
    Icon(WM_LBUTTONUP);
    EXPECT_EQ(menus, 0);
    EXPECT_TRUE(MixerOpen(0));
    Icon(WM_LBUTTONUP);
    EXPECT_EQ(menus, 1) << "the next click opens the menu again";
}

TEST_F(Tray, ShellRestartAddsTheIconAgainAndResumeReloads)
{
    Start("");
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    CSystray::SetTaskbarCreatedMessage(taskbarCreated);
    SendMessageW(*tray, taskbarCreated, 0, 0);
    EXPECT_EQ(CallsOf(NIM_ADD).size(), 2u);
    CMidiDevice& port = *engine->Port(0);
    port.OpenClient(GetCurrentProcessId());
    EXPECT_EQ(SendMessageW(*tray, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0), TRUE);
    EXPECT_TRUE(engine->IsInitialized());
    EXPECT_EQ(port.ClientCount(), 1u) << "clients stay through the reload";
    EXPECT_NE(port.WithClient(GetCurrentProcessId(), [](ClientStream&) {}), false);
}

TEST_F(Tray, ReopensExactlyTheMixersStoredAndOnlyOfPortsThatExist)
{
    Start("DevicesCount=3\r\n", "[Mixer]\r\nOpenStatus=5\r\n");
    EXPECT_TRUE(MixerOpen(0));
    EXPECT_FALSE(MixerOpen(1));
    EXPECT_TRUE(MixerOpen(2));
    SendMessageW(engine->Port(0)->MixerWindowHandle.load(), WM_CLOSE, 0, 0);
    SendMessageW(*tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(config->Stored(L"Mixer", L"OpenStatus"), L"4");
}

TEST_F(Tray, MaskOfPortsThatNoLongerExistOpensNothing)
{
    Start("DevicesCount=1\r\n", "[Mixer]\r\nOpenStatus=12\r\n");
    EXPECT_FALSE(MixerOpen(0));
    EXPECT_EQ(engine->PortCount(), 1u);
    SendMessageW(*tray, WM_CLOSE, 0, 0);
    EXPECT_EQ(config->Stored(L"Mixer", L"OpenStatus"), L"<none>") << "nothing open: the default, not stored";
}

TEST_F(Tray, MixerHotkeyTogglesTheFirstMixerOrAllOfThem)
{
    Start("DevicesCount=3\r\n");
    EXPECT_EQ(tray->RegisteredHotkey(kHotkeyMixer), 0x64Du);
    EXPECT_EQ(tray->RegisteredHotkey(kHotkeyPanic), 0x620u);
    SendMessageW(*tray, WM_HOTKEY, kHotkeyMixer, 0);
    EXPECT_TRUE(MixerOpen(0));
    SendMessageW(*tray, WM_HOTKEY, kHotkeyMixer, 0);
    EXPECT_FALSE(MixerOpen(0));

    config->Settings().ShowMixerAll.Set(1);
    SendMessageW(*tray, WM_COMMAND, kTrayCommandMixer + 1, 0);
    SendMessageW(*tray, WM_HOTKEY, kHotkeyMixer, 0);
    EXPECT_TRUE(MixerOpen(0) && MixerOpen(1) && MixerOpen(2)) << "the first was closed: all open";
    SendMessageW(*tray, WM_HOTKEY, kHotkeyMixer, 0);
    EXPECT_FALSE(MixerOpen(0) || MixerOpen(1) || MixerOpen(2));

    // A value of 0 registers nothing and says nothing; a change is taken up again.
    config->Settings().MIDIPanic.Set(0);
    tray->RegisterHotkeys();
    EXPECT_EQ(tray->RegisteredHotkey(kHotkeyPanic), 0u);
    EXPECT_TRUE(Balloons().empty());
}

TEST_F(Tray, CombinationHeldByAnotherProgramGivesABalloonAndTheOtherHotkeyStillWorks)
{
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, L"tsl-tray-test-hotkey-held");
    ChildProcess holder;
    ASSERT_TRUE(holder.Start(HostPathToWindows(TSL_BUILD_DIR "/tsl-hotkey-holder.exe"),
                             std::to_wstring(MOD_CONTROL | MOD_ALT) + L" " + std::to_wstring('M') +
                                 L" tsl-tray-test-hotkey-held"));
    ASSERT_EQ(WaitForSingleObject(held, 10000), WAIT_OBJECT_0) << "the helper could not take Ctrl+Alt+M";
    CloseHandle(held);

    Start("");
    EXPECT_EQ(tray->RegisteredHotkey(kHotkeyMixer), 0u);
    EXPECT_EQ(tray->RegisteredHotkey(kHotkeyPanic), 0x620u);
    ASSERT_EQ(Balloons().size(), 1u);
    EXPECT_EQ(Balloons()[0], L"The shortcut " + HotkeyText(0x64D) +
                                 L" for \"Mixer\" could not be registered. Another program may already be using it; "
                                 L"you can choose a different one in the settings.");
    EXPECT_EQ(CallsOf(NIM_MODIFY).back().data.dwInfoFlags, static_cast<DWORD>(NIIF_ERROR));
    EXPECT_EQ(tray->LastBalloon(), BalloonKind::MixerHotkey);

    // The menu shows no hotkey for the mixer, and the panic key still arrives.
    std::wstring first;
    onMenu = [&](HMENU menu) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, 0, text, 128, MF_BYPOSITION);
        first = text;
        return 0u;
    };
    Icon(WM_RBUTTONUP);
    EXPECT_EQ(first, L"&Mixer");
    engine->Port(0)->ChannelActive[2] = 1;
    SetForegroundWindow(*tray);
    INPUT keys[6]{};
    const WORD order[3] = {VK_CONTROL, VK_MENU, VK_SPACE};
    for (int i = 0; i < 3; ++i) {
        keys[i].type = keys[5 - i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = keys[5 - i].ki.wVk = order[i];
        keys[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(6, keys, sizeof(INPUT));
    EXPECT_TRUE(WaitUntil([&] {
        Pump();
        return engine->Port(0)->ChannelActive[2].load() == 0;
    }, 5000)) << "the panic hotkey did not arrive";
    holder.Kill();
}

TEST_F(Tray, PortMixerCopiesTheStateOfAnotherPortAndListsOnlyTheOthers)
{
    Start("DevicesCount=2\r\n");
    CMidiDevice& first = *engine->Port(0);
    CMidiDevice& second = *engine->Port(1);
    first.SetVolume(25, 3);
    first.SetMute(true, 7);
    first.SetSolo(true, 9);
    first.SetMasterVolume(60);
    SendMessageW(*tray, WM_COMMAND, kTrayCommandMixer + 1, 0);
    ASSERT_NE(second.MixerWindow, nullptr);
    HMENU menu = second.MixerWindow->BuildContextMenu();
    HMENU ports = GetSubMenu(menu, 11);
    ASSERT_NE(ports, nullptr) << "the copy submenu is there with two ports";
    ASSERT_EQ(GetMenuItemCount(ports), 1);
    EXPECT_EQ(GetMenuItemID(ports, 0), kMixerCopyFrom + 0u);
    DestroyMixerMenu(menu);
    second.MixerWindow->RunCommand(kMixerCopyFrom + 0);
    EXPECT_EQ(second.ChannelVolume[3], 25u);
    EXPECT_EQ(second.ChannelMute[7], 1u);
    EXPECT_EQ(second.ChannelSolo[9], 1u);
    EXPECT_EQ(second.MasterVolume, 60u);
    // A port cannot copy from itself.
    second.MixerWindow->RunCommand(kMixerCopyFrom + 1);
    EXPECT_EQ(second.MasterVolume, 60u);
}
