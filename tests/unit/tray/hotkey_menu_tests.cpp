// Hotkey values and texts, and the tray menu as it is built for one and for
// several ports, with and without hotkeys.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "support/app_fixture.h"
#include "support/automation.h"
#include "support/menu_items.h"
#include "tray/hotkeys.h"
#include "tray/tray_menu.h"

using namespace tsltest;


TEST(Hotkeys, ModifiersAreTranslatedAndTheExtendedFlagDropped)
{
    EXPECT_EQ(HotkeyModifiers(0x64D), static_cast<UINT>(MOD_CONTROL | MOD_ALT));
    EXPECT_EQ(HotkeyVirtualKey(0x64D), static_cast<UINT>('M'));
    EXPECT_EQ(HotkeyModifiers((HOTKEYF_SHIFT | HOTKEYF_EXT) << 8 | VK_F5), static_cast<UINT>(MOD_SHIFT));
    EXPECT_EQ(HotkeyText(0), L"");
}

TEST(Hotkeys, TextListsCtrlAltShiftInThatOrderWithTheLayoutsNames)
{
    auto name = [](UINT scanCode) {
        wchar_t text[64] = {};
        GetKeyNameTextW(static_cast<LONG>(scanCode << 16), text, 64);
        return std::wstring(text);
    };
    const std::wstring ctrl = name(0x1D), alt = name(0x38), shift = name(0x2A);
    ASSERT_FALSE(ctrl.empty());
    EXPECT_EQ(HotkeyText((HOTKEYF_SHIFT | HOTKEYF_CONTROL) << 8 | VK_F5),
              ctrl + L" + " + shift + L" + " + name(MapVirtualKeyW(VK_F5, MAPVK_VK_TO_VSC)));
    EXPECT_EQ(HotkeyText(0x64D), ctrl + L" + " + alt + L" + M");
    EXPECT_EQ(WithoutAccelerators(L"MIDI &Panic"), L"MIDI Panic");
}

TEST(TrayMenu, OnePortWithAndWithoutHotkeys)
{
    TestConfig config;
    TrayMenuModel model;
    model.mixerHotkey = L"Ctrl + Alt + M";
    model.panicHotkey = L"Ctrl + Alt + Space";
    HMENU menu = BuildTrayMenu(model);
    auto items = MenuItems(menu);
    ASSERT_EQ(items.size(), 9u);
    EXPECT_EQ(items[0].id, kTrayCommandMixer);
    EXPECT_EQ(items[0].text, L"&Mixer (Ctrl + Alt + M)");
    EXPECT_EQ(items[1].id, kTrayCommandPanic);
    EXPECT_EQ(items[1].text, L"MIDI &Panic (Ctrl + Alt + Space)");
    EXPECT_EQ(items[2].id, 0u);
    EXPECT_EQ(items[3].id, kTrayCommandConverter);
    EXPECT_EQ(items[5].id, kTrayCommandConfigure);
    EXPECT_EQ(items[7].id, kTrayCommandAbout);
    EXPECT_EQ(items[7].text, L"&About Ambrella Tessaline...");
    EXPECT_EQ(items[8].id, kTrayCommandExit);
    EXPECT_EQ(items[8].text, L"E&xit Ambrella Tessaline");
    EXPECT_FALSE(items[8].grayed);
    DestroyMenu(menu);

    model = TrayMenuModel{};
    model.exitEnabled = false;
    model.updateAvailable = true;
    menu = BuildTrayMenu(model);
    items = MenuItems(menu);
    ASSERT_EQ(items.size(), 11u);
    EXPECT_EQ(items[0].text, L"&Mixer");
    EXPECT_EQ(items[1].text, L"MIDI &Panic");
    EXPECT_TRUE(items[8].grayed) << "no exit while a conversion runs";
    EXPECT_EQ(items[10].id, kTrayCommandUpdate);
    EXPECT_EQ(items[10].text, L"&Update available...");
    DestroyMenu(menu);
}

TEST(TrayMenu, ThreePortsShowTheHotkeyOnTheFirstUnlessItOpensThemAll)
{
    TestConfig config;
    TrayMenuModel model;
    model.portCount = 3;
    model.mixerHotkey = L"Ctrl + Alt + M";
    HMENU menu = BuildTrayMenu(model);
    auto items = MenuItems(menu);
    EXPECT_EQ(items[0].text, L"&Mixers");
    ASSERT_NE(items[0].submenu, nullptr);
    auto ports = MenuItems(items[0].submenu);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].id, kTrayCommandMixer);
    EXPECT_EQ(ports[0].text, L"Tessaline #1 (Ctrl + Alt + M)");
    EXPECT_EQ(ports[1].text, L"Tessaline #2");
    EXPECT_EQ(ports[2].id, kTrayCommandMixer + 2);
    EXPECT_EQ(ports[2].text, L"Tessaline #3");
    DestroyMenu(menu);

    model.showMixerAll = true;
    menu = BuildTrayMenu(model);
    ports = MenuItems(MenuItems(menu)[0].submenu);
    EXPECT_EQ(ports[1].text, L"Tessaline #2 (Ctrl + Alt + M)");
    EXPECT_EQ(ports[2].text, L"Tessaline #3 (Ctrl + Alt + M)");
    DestroyMenu(menu);

    model.mixerHotkey.clear();
    menu = BuildTrayMenu(model);
    EXPECT_EQ(MenuItems(MenuItems(menu)[0].submenu)[0].text, L"Tessaline #1");
    DestroyMenu(menu);
}
