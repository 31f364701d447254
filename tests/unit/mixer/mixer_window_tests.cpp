// The mixer window driven as a user drives it: keys, clicks and drags on the
// strips, the context menu's commands, zoom and DPI, and what it leaves in
// the configuration when it closes. Screenshots go to the build folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <commdlg.h>

#include "mixer/mixer_dialog.h"
#include "mixer/mixer_menu.h"
#include "support/app_fixture.h"
#include "support/automation.h"
#include "support/menu_items.h"
#include "support/screenshot.h"
#include "ui/deferred_delete.h"
#include "ui/file_dialogs.h"
#include "ui/shell.h"

using namespace tsltest;

namespace {

// An open mixer window of a fake owner, closed and deleted at the end.
class MixerWindow : public ::testing::Test {
protected:
    void Open(const std::string& conf = "[Advanced]\r\n")
    {
        config = std::make_unique<TestConfig>(conf);
        owner.LoadMixerState();
        owner.ShowMixer();
        ASSERT_NE(owner.MixerWindow, nullptr);
        window = owner.MixerWindowHandle.load();
        ASSERT_NE(window, nullptr);
        Pump();
    }
    void TearDown() override
    {
        SetPopupMenuHook(nullptr);
        SetFileDialogHook(nullptr);
        SetShellOpenHook(nullptr);
        if (window && IsWindow(window))
            SendMessageW(window, WM_CLOSE, 0, 0);
        Pump();
        DeleteAllPendingWindows();
        config.reset();
    }

    SIZE Client() const
    {
        RECT r{};
        GetClientRect(window, &r);
        return {r.right, r.bottom};
    }
    HWND StripWindow(int index) const { return GetDlgItem(window, 1000 + index); }
    CMixerDialog& Dialog() { return *owner.MixerWindow; }
    void Key(WORD vk, bool repeat = false)
    {
        SendMessageW(window, WM_KEYDOWN, vk, repeat ? (1 << 30) | 1 : 1);
    }
    void KeyUp(WORD vk) { SendMessageW(window, WM_KEYUP, vk, 0xC0000001); }
    void Press(WORD vk)
    {
        Key(vk);
        KeyUp(vk);
    }
    void WithCtrl(bool down)
    {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    void Click(int strip, POINT at)
    {
        SendMessageW(StripWindow(strip), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        SendMessageW(StripWindow(strip), WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    }
    static POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
    void Shot(const std::string& name)
    {
        SetWindowPos(window, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        const DWORD until = GetTickCount() + 500;
        while (GetTickCount() < until) {
            Pump();
            Sleep(20);
        }
        EXPECT_TRUE(tsltest::SaveWindowPng(window, tsltest::ScreenshotPath(name)));
    }

    std::unique_ptr<TestConfig> config;
    FakeOwner owner{L"Tessaline #1"};
    HWND window = nullptr;
};

}  // namespace

TEST_F(MixerWindow, OpensWithTitleStripsAndTheLayoutsClientSize)
{
    Open();
    EXPECT_EQ(tsltest::WindowText(window), L"Tessaline #1 - Mixer");
    EXPECT_EQ(Client().cx, 698);
    EXPECT_EQ(Client().cy, 166);
    for (int i = 0; i < kStripCount; ++i)
        ASSERT_NE(StripWindow(i), nullptr) << i;
    EXPECT_EQ(tsltest::WindowText(StripWindow(16)), L"Master");
    EXPECT_EQ(tsltest::WindowText(StripWindow(6)), L"7");
    EXPECT_EQ(Dialog().SelectedStrip(), kMasterStrip);
    EXPECT_TRUE(Dialog().MeterThreadRunning());

    // A second ShowMixer brings the same window forward.
    owner.ShowMixer();
    EXPECT_EQ(owner.MixerWindowHandle.load(), window);
}

TEST_F(MixerWindow, KeyboardSelectsStripsAndChangesTheirState)
{
    Open();
    Press('3');
    EXPECT_EQ(Dialog().SelectedStrip(), 2);
    Press(VK_LEFT);
    Press(VK_LEFT);
    Press(VK_LEFT);
    EXPECT_EQ(Dialog().SelectedStrip(), 0) << "not below the first strip";
    Press('0');
    EXPECT_EQ(Dialog().SelectedStrip(), kMasterStrip);
    Press(VK_RIGHT);
    EXPECT_EQ(Dialog().SelectedStrip(), kMasterStrip) << "not beyond the master";
    WithCtrl(true);
    Press('7');
    EXPECT_EQ(Dialog().SelectedStrip(), kMasterStrip) << "Ctrl+7 selects nothing";
    Press('6');
    EXPECT_EQ(Dialog().SelectedStrip(), 15);
    WithCtrl(false);
    Press(VK_NUMPAD7);
    EXPECT_EQ(Dialog().SelectedStrip(), 6);

    // Up held from 50: twenty steps of one, then steps of three.
    owner.SetVolume(50, 6);
    std::vector<DWORD> seen;
    for (int i = 0; i < 25; ++i) {
        Key(VK_UP, i > 0);
        seen.push_back(owner.ChannelVolume[6]);
    }
    KeyUp(VK_UP);
    EXPECT_EQ(seen[0], 51u);
    EXPECT_EQ(seen[19], 70u);
    EXPECT_EQ(seen[20], 73u);
    EXPECT_EQ(seen[24], 85u);
    for (int i = 0; i < 20; ++i)
        Key(VK_UP, true);
    KeyUp(VK_UP);
    EXPECT_EQ(owner.ChannelVolume[6], 100u) << "never beyond 100";
    Key(VK_SUBTRACT);
    KeyUp(VK_SUBTRACT);
    EXPECT_EQ(owner.ChannelVolume[6], 99u) << "the release started the count again";
    Press(VK_END);
    EXPECT_EQ(owner.ChannelVolume[6], 0u);
    Key(VK_HOME, true);
    EXPECT_EQ(owner.ChannelVolume[6], 0u) << "Home ignores automatic repeats";
    KeyUp(VK_HOME);

    Press('M');
    EXPECT_EQ(owner.ChannelMute[6], 1u);
    Press('S');
    EXPECT_EQ(owner.ChannelSolo[6], 1u);
    EXPECT_EQ(owner.ChannelMute[6], 0u) << "a solo unmutes";
    Key('M', true);
    EXPECT_EQ(owner.ChannelMute[6], 0u) << "M ignores automatic repeats";
    KeyUp('M');

    // Master: volume keys move the master volume, M and S do nothing.
    Press('0');
    Press(VK_DOWN);
    EXPECT_EQ(owner.MasterVolume, 99u);
    Press('M');
    EXPECT_EQ(owner.ChannelMute[15], 0u);

    // R resets only when released.
    Key('R');
    EXPECT_EQ(owner.MasterVolume, 99u);
    KeyUp('R');
    EXPECT_TRUE(owner.IsNeutral());
}

TEST_F(MixerWindow, MouseDragsTheKnobAndClicksMuteAndSolo)
{
    Open();
    HWND strip = StripWindow(3);
    const RECT knob = Dialog().Strip(3).ThumbRect();
    const POINT start = Centre(knob);
    SendMessageW(strip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(start.x, start.y));
    EXPECT_EQ(Dialog().SelectedStrip(), 3) << "a press selects the strip";
    SendMessageW(strip, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(start.x, start.y + 34));
    EXPECT_EQ(owner.ChannelVolume[3], 50u) << "half of the 68-pixel travel";
    SendMessageW(strip, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(start.x, start.y + 500));
    EXPECT_EQ(owner.ChannelVolume[3], 0u) << "held at the bottom";
    SendMessageW(strip, WM_LBUTTONUP, 0, MAKELPARAM(start.x, start.y + 500));
    SendMessageW(strip, WM_MOUSEMOVE, 0, MAKELPARAM(start.x, start.y));
    EXPECT_EQ(owner.ChannelVolume[3], 0u) << "the drag ended with the release";

    const float scale = Dialog().LayoutScale();
    Click(3, Centre(MuteButtonRect(scale)));
    EXPECT_EQ(owner.ChannelMute[3], 1u);
    Click(3, Centre(SoloButtonRect(scale)));
    EXPECT_EQ(owner.ChannelSolo[3], 1u);
    EXPECT_EQ(owner.ChannelMute[3], 0u);
    Click(3, Centre(SoloButtonRect(scale)));
    EXPECT_EQ(owner.ChannelSolo[3], 0u);

    // The master's knob moves the master volume; its button opens the menu.
    const POINT masterKnob = Centre(Dialog().Strip(kMasterStrip).ThumbRect());
    SendMessageW(StripWindow(16), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(masterKnob.x, masterKnob.y));
    SendMessageW(StripWindow(16), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(masterKnob.x, masterKnob.y + 17));
    SendMessageW(StripWindow(16), WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(owner.MasterVolume, 75u);
    int menus = 0;
    SetPopupMenuHook([&](HMENU, UINT, POINT, HWND) {
        ++menus;
        return 0u;
    });
    Click(16, Centre(MuteButtonRect(scale)));
    EXPECT_EQ(menus, 1);
}

TEST_F(MixerWindow, ContextMenuListsTheCommandsAndRunsTheChosenOne)
{
    Open("[Mixer]\r\nSoloRatio=35\r\nZoom=125\r\n");
    std::vector<MenuItem> items, ratios, zooms;
    SetPopupMenuHook([&](HMENU menu, UINT, POINT, HWND) {
        items = MenuItems(menu);
        ratios = MenuItems(GetSubMenu(menu, 4));
        zooms = MenuItems(GetSubMenu(menu, 7));
        return kMixerMuteAll;
    });
    SendMessageW(StripWindow(2), WM_RBUTTONUP, 0, 0);
    ASSERT_EQ(items.size(), 14u) << "no copy submenu without other ports";
    EXPECT_EQ(items[0].id, kMixerMuteAll);
    EXPECT_EQ(items[0].text, L"Mute All Channels");
    EXPECT_TRUE(items[0].image);
    EXPECT_EQ(items[3].id, kMixerUnsoloAll);
    EXPECT_TRUE(items[4].submenu);
    EXPECT_EQ(items[4].text, L"Volume of Non-Solo Channels");
    EXPECT_EQ(items[6].id, kMixerTopMost);
    EXPECT_FALSE(items[6].checked);
    EXPECT_EQ(items[9].id, kMixerLoad);
    EXPECT_EQ(items[10].id, kMixerSave);
    EXPECT_EQ(items[11].text, L"Reset Mixer (R)");
    EXPECT_EQ(items[13].id, kMixerSystemMixer);
    ASSERT_EQ(ratios.size(), 17u);
    EXPECT_EQ(ratios[16].text, L"80%");
    EXPECT_EQ(ratios[7].id, kMixerSoloRatioBase + 0 + 35);
    EXPECT_TRUE(ratios[7].checked);
    ASSERT_EQ(zooms.size(), 4u);
    EXPECT_TRUE(zooms[1].checked);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(owner.ChannelMute[c], 1u) << c;

    Dialog().RunCommand(kMixerSoloAll);
    EXPECT_EQ(owner.ChannelSolo[0], 1u);
    EXPECT_EQ(owner.ChannelMute[0], 0u);
    Dialog().RunCommand(kMixerUnsoloAll);
    EXPECT_EQ(owner.ChannelSolo[0], 0u);
    Dialog().RunCommand(kMixerSoloRatioBase + 0 + 60);
    EXPECT_EQ(config->Settings().SoloRatio.Get(), 60u);
    EXPECT_EQ(owner.applied.back(), kAllChannels) << "the converter's kind of owner applies the new ratio itself";
    Dialog().RunCommand(kMixerTopMost);
    EXPECT_EQ(config->Settings().TopMost.Get(), 1u);
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    owner.SetVolume(30, 16);
    Dialog().RunCommand(kMixerReset);
    EXPECT_TRUE(owner.IsNeutral());

    std::wstring opened;
    SetShellOpenHook([&](const wchar_t* verb, const wchar_t* file, const wchar_t* params, int show) {
        opened = std::wstring(verb) + L" " + file + L" " + params + L" " + std::to_wstring(show);
        return true;
    });
    Dialog().RunCommand(kMixerSystemMixer);
    EXPECT_EQ(opened, L"open sndvol.exe /P 1");
}

TEST(MixerMenu, CopySubmenuListsOtherExistingPortsOnly)
{
    TestConfig config;
    MixerMenuModel model;
    model.portCount = 3;
    model.ownPort = 1;
    HMENU menu = BuildMixerMenu(model);
    const auto items = MenuItems(menu);
    ASSERT_EQ(items.size(), 15u);
    EXPECT_EQ(items[11].text, L"Copy Mixer State From");
    const auto ports = MenuItems(GetSubMenu(menu, 11));
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].id, kMixerCopyFrom + 0);
    EXPECT_EQ(ports[0].text, L"Tessaline #1");
    EXPECT_EQ(ports[1].id, kMixerCopyFrom + 2);
    EXPECT_EQ(ports[1].text, L"Tessaline #3");
    // Solo-ratio ids stay clear of the copy ids whatever the port count.
    EXPECT_EQ(MenuItems(GetSubMenu(menu, 4))[0].id, kMixerSoloRatioBase + 3);
    DestroyMixerMenu(menu);

    model.ownPort = -1;  // the converter's mixer lists every port
    menu = BuildMixerMenu(model);
    EXPECT_EQ(MenuItems(GetSubMenu(menu, 11)).size(), 3u);
    DestroyMixerMenu(menu);
}

TEST(MixerOwnerState, CopyTakesEverythingButTheLights)
{
    TestConfig config;
    FakeOwner from, to;
    from.SetVolume(20, 5);
    from.SetMute(true, 1);
    from.SetSolo(true, 2);
    from.SetMasterVolume(70);
    from.ChannelActive[4] = 1;
    to.CopyMixerState(from);
    EXPECT_EQ(to.ChannelVolume[5], 20u);
    EXPECT_EQ(to.ChannelMute[1], 1u);
    EXPECT_EQ(to.ChannelSolo[2], 1u);
    EXPECT_EQ(to.MasterVolume, 70u);
    EXPECT_EQ(to.ChannelActive[4].load(), 0u);
    EXPECT_EQ(to.applied.back(), kAllChannels);
}

TEST_F(MixerWindow, SaveAndLoadThroughTheFileDialogsAndAFailedSaveIsReported)
{
    Open();
    const std::wstring file = config->Folder().File(L"mine.tslms");
    FileDialogRequest asked;
    SetFileDialogHook([&](const FileDialogRequest& request) {
        asked = request;
        return std::vector<std::wstring>{file};
    });
    owner.SetVolume(33, 7);
    owner.SetMute(true, 8);
    Dialog().RunCommand(kMixerSave);
    EXPECT_EQ(asked.kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(asked.title, L"Save Mixer State");
    EXPECT_EQ(asked.filter, L"Tessaline mixer state (*.tslms)|*.tslms|");
    EXPECT_EQ(asked.defaultExt, L"tslms");
    EXPECT_TRUE(asked.flags & OFN_OVERWRITEPROMPT);
    EXPECT_NE(ReadBytes(file).find("ChannelVolume=100;100;100;100;100;100;100;33;"), std::string::npos);

    Dialog().RunCommand(kMixerReset);
    owner.applied.clear();
    Dialog().RunCommand(kMixerLoad);
    EXPECT_EQ(asked.kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(asked.filter, L"Tessaline mixer states (*.tslms)|*.tslms|All files (*.*)|*.*|");
    EXPECT_EQ(owner.ChannelVolume[7], 33u);
    EXPECT_EQ(owner.ChannelMute[8], 1u);
    EXPECT_EQ(owner.applied.back(), kAllChannels);

    const std::string before = ReadBytes(file);
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    owner.SetVolume(1, 16);
    Dialog().RunCommand(kMixerSave);
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(file), before);
    ASSERT_FALSE(config->Messages().empty());
    EXPECT_NE(config->Messages().back().find(L"could not be saved to " + file), std::wstring::npos);
}

TEST_F(MixerWindow, ZoomAndDpiScaleTheWindowAndScreenshotsShowIt)
{
    Open();
    owner.instruments[0] = L"Acoustic Grand Piano";
    owner.instruments[1] = L"Fretless Bass";
    owner.instruments[9] = L"Standard Kit";
    owner.instruments[3] = L"String Ensemble 1";
    for (int c : {0, 1, 3, 9})
        owner.ChannelActive[c] = 1;
    owner.level = 0x5A00 | 0x4C00u << 16;
    owner.SetVolume(80, 1);
    owner.SetVolume(64, 3);
    owner.SetMute(true, 5);
    owner.SetSolo(true, 9);
    owner.SetSolo(false, 9);
    Press('2');
    Dialog().RefreshStrip(kAllChannels);
    Shot("mixer-zoom100");

    Dialog().RunCommand(kMixerZoom100 + 2);
    EXPECT_EQ(config->Settings().Zoom.Get(), 150u);
    EXPECT_EQ(Client().cx, 1047);
    EXPECT_EQ(Client().cy, 248);
    Shot("mixer-zoom150");

    Dialog().RunCommand(kMixerZoom100);
    EXPECT_EQ(Client().cx, 698);
    // The monitor's DPI goes to 144: the same window at one and a half times.
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), 0);
    EXPECT_EQ(Dialog().GetDpi(), 144u);
    EXPECT_EQ(Client().cx, 1047);
    EXPECT_EQ(Client().cy, 248);
    RECT strip{};
    GetWindowRect(StripWindow(16), &strip);
    EXPECT_EQ(strip.right - strip.left, 60);
    Shot("mixer-144dpi");
}

TEST_F(MixerWindow, MetersFollowTheSettingAndClosingSavesStateAndPlace)
{
    Open("[Advanced]\r\nDisableVUMeter=1\r\n");
    EXPECT_FALSE(Dialog().MeterThreadRunning());
    config->Settings().DisableVUMeter.Set(0);
    Dialog().UpdateMeterThread();
    EXPECT_TRUE(Dialog().MeterThreadRunning());
    config->Settings().DisableVUMeter.Set(1);
    Dialog().UpdateMeterThread();
    EXPECT_FALSE(Dialog().MeterThreadRunning());

    owner.SetVolume(44, 0);
    const size_t pending = PendingWindowCount();
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(owner.MixerWindow, nullptr);
    EXPECT_EQ(owner.MixerWindowHandle.load(), nullptr);
    EXPECT_EQ(PendingWindowCount(), pending + 1) << "handed to the tray for deletion";
    EXPECT_EQ(config->Stored(L"Mixer", L"ChannelVolume").substr(0, 3), L"44;");
    EXPECT_NE(config->Stored(L"Windows", L"Mixer"), L"<none>");
    window = nullptr;
}
