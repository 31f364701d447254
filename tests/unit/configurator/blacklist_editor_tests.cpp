// The blacklist editor as the Options page opens it: what it stores, what it
// refuses, and the menu of running programs that use the driver.
#include "configurator_test_support.h"

#include "configurator/blacklist_editor.h"
#include "configurator/resource_ids.h"
#include "core/settings.h"
#include "support/automation.h"

namespace {

using namespace cfgtest;

class BlacklistEditor : public ConfiguratorTest {
protected:
    BlacklistEditor() : ConfiguratorTest("[Advanced]\r\nOutputDevice=0\r\nClientBlacklist=b.exe;a.exe\r\n") {}
    bool EditWith(std::function<void(HWND)> script)
    {
        WhenDialogOpens(L"Blocked Programs", std::move(script));
        return EditClientBlacklist(nullptr);
    }
};

TEST_F(BlacklistEditor, StoresNormalisedFileNamesAndRefusesSemicolons)
{
    std::wstring shown;
    std::vector<std::wstring> messages;
    EXPECT_TRUE(EditWith([&](HWND dlg) {
        HWND edit = ::GetDlgItem(dlg, IDC_BE_LIST);
        shown = TextOf(edit);
        Type(edit, L"Notepad\r\n  notepad.EXE  \r\nC:\\Games\\Doom\\DOOM.exe\r\nbad;name\r\n");
        Click(::GetDlgItem(dlg, IDOK));
        // Refused: the dialog is still there with a message; the user corrects the line.
        messages = Messages();
        Type(edit, L"Notepad\r\n  notepad.EXE  \r\nC:\\Games\\Doom\\DOOM.exe\r\nnotepad.exe\r\n\r\n");
        Click(::GetDlgItem(dlg, IDOK));
    }));
    EXPECT_EQ(shown, L"a.exe\r\nb.exe\r\n");
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find(L"bad;name"), std::wstring::npos);
    EXPECT_EQ(config.Stored(L"Advanced", L"ClientBlacklist"), L"doom.exe;notepad.exe");

    // Cancel never changes it; an emptied box stores the empty text (the key goes).
    EXPECT_FALSE(EditWith([](HWND dlg) {
        Type(::GetDlgItem(dlg, IDC_BE_LIST), L"other");
        Click(::GetDlgItem(dlg, IDCANCEL));
    }));
    EXPECT_EQ(config.Stored(L"Advanced", L"ClientBlacklist"), L"doom.exe;notepad.exe");
    EXPECT_TRUE(EditWith([](HWND dlg) {
        Type(::GetDlgItem(dlg, IDC_BE_LIST), L"");
        Click(::GetDlgItem(dlg, IDOK));
    }));
    EXPECT_EQ(config.Stored(L"Advanced", L"ClientBlacklist"), L"<none>");
}

TEST_F(BlacklistEditor, TheProcessMenuListsARunningClientOfTheDriver)
{
    // Nobody uses the driver yet: one disabled item.
    std::vector<MenuItem> items;
    {
        PopupMenuAnswers menus([&](HMENU menu) {
            items = MenuItems(menu);
            return 0u;
        });
        EditWith([](HWND dlg) {
            Click(::GetDlgItem(dlg, IDC_BE_PROCESSES));
            Click(::GetDlgItem(dlg, IDCANCEL));
        });
    }
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, L"(No running program uses Tessaline)");
    EXPECT_TRUE(items[0].disabled);

    // A test client that has loaded the driver library (it waits until told to end).
    tsltest::ChildProcess client;
    const std::wstring dll = tsltest::HostPathToWindows(TSL_BUILD_DIR "/Tessaline.dll");
    ASSERT_TRUE(client.Start(tsltest::HostPathToWindows(TSL_BUILD_DIR "/tsl-test-client.exe"),
                             L"--dll \"" + dll + L"\" --hold"));
    ASSERT_TRUE(tsltest::WaitUntil([&] {
        for (const std::wstring& name : ProgramsUsingDriver())
            if (name == L"tsl-test-client.exe")
                return true;
        return false;
    }, 20000));
    std::wstring text;
    {
        PopupMenuAnswers menus([&](HMENU menu) {
            items = MenuItems(menu);
            for (const MenuItem& item : items)
                if (item.text == L"tsl-test-client.exe")
                    return item.id;
            return 0u;
        });
        EXPECT_TRUE(EditWith([&](HWND dlg) {
            Click(::GetDlgItem(dlg, IDC_BE_PROCESSES));
            text = TextOf(::GetDlgItem(dlg, IDC_BE_LIST));
            Click(::GetDlgItem(dlg, IDOK));
        }));
    }
    client.Kill();
    EXPECT_EQ(text, L"a.exe\r\nb.exe\r\ntsl-test-client.exe");
    EXPECT_EQ(config.Stored(L"Advanced", L"ClientBlacklist"), L"a.exe;b.exe;tsl-test-client.exe");
}

}  // namespace
