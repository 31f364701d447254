// The configurator's system pages driven as a user would: the MIDI mapper's
// choices written to and read back from the registry, the Shortcuts page's
// hotkeys, the Updates page against the local HTTPS service, and the About
// page's status and debug report.
#include "configurator_test_support.h"

#include <fstream>

#include <commdlg.h>

#include "configurator/debug_report.h"
#include "configurator/midi_out_devices.h"
#include "configurator/resource_ids.h"
#include "configurator/save_actions.h"
#include "configurator/tab_about.h"
#include "configurator/tab_shortcuts.h"
#include "configurator/tab_updates.h"
#include "core/language.h"
#include "core/reg_key.h"
#include "core/settings.h"
#include "install/default_device.h"
#include "support/automation.h"
#include "support/temp_folder.h"
#include "ui/shell.h"
#include "update_test_server.h"

namespace {

using namespace cfgtest;

const std::vector<std::wstring> kDevices = {L"Microsoft GS Wavetable Synth", L"Ambrella Portvane", L"Tessaline #1",
                                            L"Tessaline #2"};
constexpr wchar_t kPortvaneKey[] = L"SOFTWARE\\Ambrella Portvane";

class SystemPage : public ConfiguratorTest {
protected:
    void Apply()
    {
        Click(::GetDlgItem(*window, IDC_CFG_APPLY));
        Pump();
    }
    // Chooses `row` of a drop-down list as the mouse would, with its notification.
    void Choose(int page, int id, int row)
    {
        HWND list = Control(page, id);
        ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
        ::SendMessageW(*window->Page(page), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }
    LRESULT Selected(int page, int id) const { return ::SendMessageW(Control(page, id), CB_GETCURSEL, 0, 0); }
    void Reopen()
    {
        Close();
        ASSERT_TRUE(Open());
    }
};

class MapperPage : public SystemPage {
protected:
    void SetUp() override
    {
        SetMidiOutDevicesForTests(kDevices);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kMidiMapKey);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kDevenumMidiOutKey);
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPortvaneKey, KEY_WOW64_32KEY, 0);
    }
    void TearDown() override
    {
        SetMidiOutDevicesForTests(std::nullopt);
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPortvaneKey, KEY_WOW64_32KEY, 0);
    }
    static void InstallSibling()
    {
        CRegKey key;
        ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kPortvaneKey, KEY_WRITE | KEY_WOW64_32KEY), ERROR_SUCCESS);
    }
    std::vector<std::wstring> Rows(int id) const
    {
        std::vector<std::wstring> rows;
        HWND list = Control(kPageMidiMapper, id);
        const LRESULT count = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            COMBOBOXEXITEMW item{};
            item.mask = CBEIF_TEXT;
            item.iItem = i;
            item.pszText = text;
            item.cchTextMax = 256;
            ::SendMessageW(list, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            rows.push_back(text);
        }
        return rows;
    }
};

TEST_F(MapperPage, MediaPlayerDeviceIsStoredByDeviceIndexAndSelectedAgain)
{
    ASSERT_TRUE(Open());
    window->SelectPage(kPageMidiMapper);
    // The sibling's own device is left out; the rows after it keep their devices.
    const std::vector<std::wstring> expected = {kDevices[0], kDevices[2], kDevices[3]};
    EXPECT_EQ(Rows(IDC_MAP_WMP), expected);
    EXPECT_EQ(Selected(kPageMidiMapper, IDC_MAP_WMP), CB_ERR);
    Choose(kPageMidiMapper, IDC_MAP_WMP, 2);  // "Tessaline #2", device 3
    EXPECT_TRUE(IsEnabled(::GetDlgItem(*window, IDC_CFG_APPLY)));
    Apply();
    EXPECT_EQ(ReadMediaPlayerDevice(), std::optional<DWORD>(3));
    Reopen();
    EXPECT_EQ(Selected(kPageMidiMapper, IDC_MAP_WMP), 2);
}

TEST_F(MapperPage, WithoutTheSiblingTheSystemChoiceIsOffAndNothingIsWrittenThere)
{
    if (!IsWindows8OrLater())
        GTEST_SKIP() << "the system reports a version before Windows 8";
    ASSERT_TRUE(Open());
    EXPECT_FALSE(IsEnabled(Control(kPageMidiMapper, IDC_MAP_DEFAULT)));
    EXPECT_NE(TextOf(Control(kPageMidiMapper, IDC_MAP_WARNING)).find(L">Ambrella Portvane</a>"), std::wstring::npos);
    Choose(kPageMidiMapper, IDC_MAP_DEFAULT, 1);
    Choose(kPageMidiMapper, IDC_MAP_WMP, 0);
    Apply();
    CRegKey key;
    EXPECT_NE(key.Open(HKEY_CURRENT_USER, kMidiMapKey, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(ReadMediaPlayerDevice(), std::optional<DWORD>(0));
}

TEST_F(MapperPage, WithTheSiblingTheSystemDeviceIsWrittenByNameAndSelectedAgain)
{
    InstallSibling();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(IsEnabled(Control(kPageMidiMapper, IDC_MAP_DEFAULT)));
    EXPECT_EQ(TextOf(Control(kPageMidiMapper, IDC_MAP_WARNING)), GetText(L"cfg.midi.warning"));
    Choose(kPageMidiMapper, IDC_MAP_DEFAULT, 1);
    Apply();
    EXPECT_EQ(ReadMidiMapperDevice(), L"Tessaline #1");
    // Saving without a Media Player choice leaves its key alone.
    CRegKey key;
    EXPECT_NE(key.Open(HKEY_CURRENT_USER, kDevenumMidiOutKey, KEY_READ), ERROR_SUCCESS);
    Reopen();
    EXPECT_EQ(Selected(kPageMidiMapper, IDC_MAP_DEFAULT), 1);
}

TEST_F(MapperPage, IndexBeyondTheDevicesSelectsNothing)
{
    ASSERT_EQ(WriteMediaPlayerDevice(7), ERROR_SUCCESS);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Selected(kPageMidiMapper, IDC_MAP_WMP), CB_ERR);
    // A device that disappeared while the page was open is not replaced by another.
    Choose(kPageMidiMapper, IDC_MAP_WMP, 2);
    SetMidiOutDevicesForTests(std::vector<std::wstring>{kDevices[0], kDevices[2]});
    Apply();
    EXPECT_EQ(ReadMediaPlayerDevice(), std::optional<DWORD>(7));
}

class ShortcutsPage : public SystemPage {
protected:
    void SetUp() override
    {
        SaveActions().registerHotkeys = [this] { ++registrations; };
        ASSERT_TRUE(Open());
        window->SelectPage(kPageShortcuts);
    }
    HWND Key(int id) const { return Control(kPageShortcuts, id); }
    int registrations = 0;
};

TEST_F(ShortcutsPage, ShowsTheStoredKeysAndResetThenApplyStoresTheDefaults)
{
    Close();
    config.Settings().ShowMixer.Set(0x250);  // Ctrl+P
    config.Settings().ShowMixerAll.Set(1);
    config.Settings().MIDIPanic.Set(0x651);  // Ctrl+Alt+Q
    config.Settings().ClearChanges();
    ASSERT_TRUE(Open());
    EXPECT_EQ(::SendMessageW(Key(IDC_KEY_SHOW_MIXER), HKM_GETHOTKEY, 0, 0), 0x250);
    EXPECT_EQ(::SendMessageW(Key(IDC_KEY_MIDI_PANIC), HKM_GETHOTKEY, 0, 0), 0x651);
    EXPECT_EQ(::IsDlgButtonChecked(*window->Page(kPageShortcuts), IDC_KEY_MIXERS_ALL), BST_CHECKED);

    Click(Key(IDC_KEY_RESET));
    Apply();
    EXPECT_EQ(config.Settings().ShowMixer.Get(), 1613u);
    EXPECT_EQ(config.Settings().ShowMixerAll.Get(), 0u);
    EXPECT_EQ(config.Settings().MIDIPanic.Get(), 1568u);
    EXPECT_EQ(registrations, 1);
    const std::string conf = FileBytes(ConfigFile());
    EXPECT_EQ(conf.find("ShowMixer="), std::string::npos) << conf;  // defaults are not written
}

TEST_F(ShortcutsPage, TypedCombinationIsStoredAndAPlainKeyGetsCtrl)
{
    ::SetFocus(Key(IDC_KEY_MIDI_PANIC));
    PressKey(Key(IDC_KEY_MIDI_PANIC), 'K');
    Pump();
    EXPECT_TRUE(IsEnabled(::GetDlgItem(*window, IDC_CFG_APPLY)));
    Apply();
    EXPECT_EQ(config.Settings().MIDIPanic.Get(), static_cast<DWORD>(HOTKEYF_CONTROL << 8 | 'K'));
    EXPECT_EQ(registrations, 1);
}

TEST_F(ShortcutsPage, MixerKeysAreListedInNineAlignedLines)
{
    const std::wstring text = TextOf(Key(IDC_KEY_REFERENCE));
    size_t lines = 0, at = 0;
    for (size_t end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2, ++lines)
        EXPECT_EQ(text.substr(at + 12, 4), L" => ") << tsltest::Narrow(text.substr(at, end - at));
    EXPECT_EQ(lines, 9u);
    EXPECT_EQ(text.substr(0, 5), L"\u25C4 / \u25BA");
    EXPECT_NE(text.find(L"Ctrl+0\u20136     => " + GetText(L"cfg.key.4") + L"\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"R            => " + GetText(L"cfg.key.8")), std::wstring::npos);
}

tsltest_update::UpdateTestServer g_updates;
bool g_updatesUp = false;

class UpdatesPage : public SystemPage {
protected:
    static void SetUpTestSuite() { g_updatesUp = g_updates.Start(); }
    static void TearDownTestSuite() { g_updates.Stop(); }
    void SetUp() override
    {
        ASSERT_TRUE(g_updatesUp) << "the local HTTPS update service did not start";
        ASSERT_TRUE(Open());
        window->SelectPage(kPageUpdates);
    }
    void TearDown() override
    {
        SetShellOpenHook(nullptr);
        Close();
    }
    // Points the page at a scenario of the service and presses Check now.
    CUpdateChecker& Check(const std::wstring& scenario)
    {
        m_checker = std::make_unique<CUpdateChecker>(config.Settings(), g_updates.Endpoint(scenario),
                                                     kUpdateSoftwareName, kCurrentVersion);
        Page().SetChecker(m_checker.get());
        Click(Control(kPageUpdates, IDC_UPD_CHECK_NOW));
        return *m_checker;
    }
    bool Finish()
    {
        return tsltest::WaitUntil([&] {
            Pump(10);
            return !m_checker->IsRunning();
        }, 15000) && (Pump(50), true);
    }
    CConfiguratorTabUpdates& Page() { return static_cast<CConfiguratorTabUpdates&>(*window->Page(kPageUpdates)); }
    std::wstring Available() { return TextOf(Control(kPageUpdates, IDC_UPD_AVAILABLE)); }

    std::unique_ptr<CUpdateChecker> m_checker;
};

TEST_F(UpdatesPage, NewerVersionIsShownAnnouncedAndItsPageOpened)
{
    EXPECT_EQ(TextOf(Control(kPageUpdates, IDC_UPD_CURRENT)), L"2.14.1.0");
    EXPECT_EQ(TextOf(Control(kPageUpdates, IDC_UPD_LAST_CHECK)), L"1900-01-01");
    Check(L"newer");
    EXPECT_EQ(Available(), L"checking...");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(Available(), L"2.15.0.0");
    EXPECT_EQ(TextOf(Control(kPageUpdates, IDC_UPD_LAST_CHECK)), FormatDate(Today()));
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back(), GetText(L"cfg.upd.updateAvailable"));
    EXPECT_EQ(config.Settings().LastNotify.Get(), FormatDate(Today()));

    std::wstring opened;
    SetShellOpenHook([&](const wchar_t*, const wchar_t* file, const wchar_t*, int) {
        opened = file;
        return true;
    });
    HWND field = Control(kPageUpdates, IDC_UPD_AVAILABLE);
    ::SendMessageW(*window->Page(kPageUpdates), WM_COMMAND, MAKEWPARAM(IDC_UPD_AVAILABLE, STN_CLICKED),
                   reinterpret_cast<LPARAM>(field));
    EXPECT_EQ(opened, L"https://localhost/download");
}

TEST_F(UpdatesPage, FailedCheckShowsErrorKeepsTheEarlierResultAndExplainsItself)
{
    config.Settings().LastVersionFound.Set(L"2.14.5.0");
    config.Settings().LastCheck.Set(L"2020-01-02");
    Check(L"notfound");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(Available(), L"Error!");
    EXPECT_EQ(config.Settings().LastVersionFound.Get(), L"2.14.5.0");
    EXPECT_EQ(config.Settings().LastCheck.Get(), L"2020-01-02");
    const size_t before = Messages().size();
    HWND label = Control(kPageUpdates, IDC_UPD_AVAILABLE_LABEL);
    ::SendMessageW(*window->Page(kPageUpdates), WM_COMMAND, MAKEWPARAM(IDC_UPD_AVAILABLE_LABEL, STN_CLICKED),
                   reinterpret_cast<LPARAM>(label));
    ASSERT_EQ(Messages().size(), before + 1);
    EXPECT_NE(Messages().back().find(L"404"), std::wstring::npos) << tsltest::Narrow(Messages().back());
}

TEST_F(UpdatesPage, SecondCheckWhileOneRunsIsRefusedWithAMessage)
{
    CUpdateChecker& checker = Check(L"hang");
    ASSERT_TRUE(checker.IsRunning());
    const size_t before = Messages().size();
    Click(Control(kPageUpdates, IDC_UPD_CHECK_NOW));
    ASSERT_EQ(Messages().size(), before + 1);
    EXPECT_EQ(Messages().back(), L"Version check is already in progress, please try again later!");
    m_checker.reset();  // cancels the hanging request
    Page().SetChecker(nullptr);
}

TEST_F(UpdatesPage, FrequencyIsSavedAndNeverForgetsTheResults)
{
    config.Settings().LastVersionFound.Set(L"2.15.0.0");
    Choose(kPageUpdates, IDC_UPD_FREQUENCY, 3);
    Apply();
    EXPECT_EQ(config.Settings().CheckFrequency.Get(), 30u);
    EXPECT_EQ(config.Settings().LastVersionFound.Get(), L"2.15.0.0");
    Choose(kPageUpdates, IDC_UPD_FREQUENCY, 0);
    Apply();
    EXPECT_EQ(config.Settings().CheckFrequency.Get(), 0u);
    EXPECT_EQ(config.Settings().LastVersionFound.Get(), L"");
    Reopen();
    EXPECT_EQ(Selected(kPageUpdates, IDC_UPD_FREQUENCY), 0);
}

class AboutPage : public SystemPage {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Open());
        window->SelectPage(kPageAbout);
        Pump(50);
    }
    CConfiguratorTabAbout& Page() { return static_cast<CConfiguratorTabAbout&>(*window->Page(kPageAbout)); }
};

TEST_F(AboutPage, StatusNamesThisBuildAndRefreshesOnlyWhileShown)
{
    EXPECT_EQ(TextOf(Control(kPageAbout, IDC_ABOUT_TITLE)), L"Ambrella Tessaline - 2.14.1");
    const std::wstring status = TextOf(Control(kPageAbout, IDC_ABOUT_STATUS));
    EXPECT_NE(status.find(std::wstring(L"Tessaline: 2.14.1 (") + BuildArchitecture() + L")\r\n"), std::wstring::npos)
        << tsltest::Narrow(status);
    EXPECT_NE(status.find(L"Memory (MB): total "), std::wstring::npos);
    EXPECT_NE(status.find(L"Available devices: 1\r\n"), std::wstring::npos);
    EXPECT_TRUE(Page().IsRefreshing());
    window->SelectPage(kPageSoundFonts);
    EXPECT_FALSE(Page().IsRefreshing());
}

TEST_F(AboutPage, DebugReportIsWrittenAndAFailedWriteIsReportedNotAnnounced)
{
    const tsltest::TempFolder folder;
    const std::wstring path = folder.File(L"report.txt");
    std::wstring opened;
    SetShellOpenHook([&](const wchar_t*, const wchar_t* file, const wchar_t*, int) {
        opened = file;
        return true;
    });
    FileDialogAnswers answers;
    answers.answers = {{path}, {folder.File(L"no-such-folder\\report.txt")}};
    Click(Control(kPageAbout, IDC_ABOUT_REPORT));
    ASSERT_EQ(answers.titles.size(), 1u);
    EXPECT_EQ(answers.titles[0], GetText(L"cfg.about.debugReportSave"));
    EXPECT_TRUE(answers.flags[0] & OFN_OVERWRITEPROMPT);
    const std::string report = FileBytes(path);
    EXPECT_EQ(report.rfind("\xEF\xBB\xBFStatus\r\n======\r\n", 0), 0u) << report.substr(0, 200);
    EXPECT_NE(report.find("Registry keys"), std::string::npos);
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back(), GetText(L"cfg.about.debugReportSaveCompleted", path));
    EXPECT_EQ(opened, path);

    opened.clear();
    Click(Control(kPageAbout, IDC_ABOUT_REPORT));
    EXPECT_NE(Messages().back().find(L"could not be saved"), std::wstring::npos) << tsltest::Narrow(Messages().back());
    EXPECT_EQ(opened, L"");
    SetShellOpenHook(nullptr);
}

}  // namespace
