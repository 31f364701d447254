// The configurator window as a user meets it: the save sequence over the six
// pages, what OK, Apply, Cancel and Escape write, the remembered tab, Ctrl+Tab,
// and what the process is told after a save.
#include "configurator_test_support.h"

#include "configurator/resource_ids.h"
#include "configurator/save_actions.h"
#include "core/resident_windows.h"
#include "core/settings.h"

namespace {

using namespace cfgtest;

// A page that records its saves and refuses them when told.
class CRecordingPage : public CConfiguratorTabBase {
public:
    CRecordingPage(CConfigurator& owner, std::vector<int>& log, int slot, bool refuse)
        : CConfiguratorTabBase(IDD_PAGE_EMPTY, owner), m_log(log), m_slot(slot), m_refuse(refuse)
    {
    }
    bool Save(UINT) override
    {
        m_log.push_back(m_slot);
        return !m_refuse;
    }

private:
    std::vector<int>& m_log;
    int m_slot;
    bool m_refuse;
};

class ConfiguratorWindow : public ConfiguratorTest {
protected:
    HWND Apply() const { return ::GetDlgItem(*window, IDC_CFG_APPLY); }
    HWND OptionsControl(int id) const { return Control(kPageOptions, id); }
};

TEST_F(ConfiguratorWindow, ApplyWithoutChangesAndCancelLeaveTheFileByteIdentical)
{
    ASSERT_TRUE(Open());
    Close();  // the first close remembers where the window was
    const std::string before = FileBytes(ConfigFile());

    ASSERT_TRUE(Open());
    EXPECT_FALSE(IsEnabled(Apply()));
    ::SendMessageW(*window, WM_COMMAND, MAKEWPARAM(IDC_CFG_APPLY, BN_CLICKED), reinterpret_cast<LPARAM>(Apply()));
    Pump();
    EXPECT_EQ(FileBytes(ConfigFile()), before);
    EXPECT_FALSE(IsEnabled(Apply()));

    // A change followed by Cancel: nothing is written.
    Click(OptionsControl(1012));  // "Turn off reverb and chorus"
    EXPECT_TRUE(IsEnabled(Apply()));
    Click(::GetDlgItem(*window, IDCANCEL));
    Pump();
    EXPECT_FALSE(window->IsWindow());
    EXPECT_EQ(FileBytes(ConfigFile()), before);
}

TEST_F(ConfiguratorWindow, APageThatRefusesStopsTheLaterPagesAndKeepsTheWindowOpen)
{
    std::vector<int> saved;
    for (int slot : {kPageMidiMapper, kPageShortcuts, kPageUpdates})
        OverrideConfiguratorPage(slot, [&saved, slot](CConfigurator& owner) {
            return std::make_unique<CRecordingPage>(owner, saved, slot, slot == kPageShortcuts);
        });
    bool reloaded = false;
    SaveActions().reloadEngine = [&] { reloaded = true; };
    ASSERT_TRUE(Open());
    // The refusing page holds a change the user has to correct.
    window->Page(kPageShortcuts)->SetModified(true);

    Click(OptionsControl(1012));
    Click(::GetDlgItem(*window, IDOK));
    Pump();
    // Pages 1 and 3 were asked, page 4 never; the window stays for the user to correct.
    EXPECT_EQ(saved, (std::vector<int>{kPageMidiMapper, kPageShortcuts}));
    EXPECT_TRUE(window->IsWindow());
    EXPECT_TRUE(IsEnabled(Apply()));
    EXPECT_FALSE(reloaded);
    // The Options page came before the refusal: its value is stored, the flags stay raised.
    EXPECT_EQ(config.Stored(L"Advanced", L"DisableMidiEffects"), L"1");
    EXPECT_TRUE(config.Settings().IsChanged(SettingsChange::Audio));
}

TEST_F(ConfiguratorWindow, OkSavesInPageOrderActsOnTheFlagsAndCloses)
{
    std::vector<std::string> actions;
    SaveActions().reloadEngine = [&] { actions.push_back("reload"); };
    SaveActions().applyVuMeter = [&] { actions.push_back("meters"); };
    SaveActions().reloadLanguage = [&] { actions.push_back("language"); };
    SaveActions().registerHotkeys = [&] { actions.push_back("hotkeys"); };
    SaveActions().allPortsHaveSoundFonts = [] { return false; };
    SaveActions().reportMissingSoundFonts = [&] { actions.push_back("no soundfont"); };
    ASSERT_TRUE(Open());
    Type(OptionsControl(1020), L"1200");  // voices: an audio setting
    Click(OptionsControl(1017));          // meters
    Click(::GetDlgItem(*window, IDOK));
    Pump();
    EXPECT_EQ(actions, (std::vector<std::string>{"no soundfont", "reload", "meters"}));
    EXPECT_EQ(config.Stored(L"Advanced", L"VoicesLimit"), L"1200");
    EXPECT_EQ(config.Stored(L"Advanced", L"DisableVUMeter"), L"1");
    EXPECT_FALSE(config.Settings().IsChanged(SettingsChange::Audio));
    EXPECT_FALSE(config.Settings().IsChanged(SettingsChange::VuMeter));
    EXPECT_FALSE(window->IsWindow());
}

TEST_F(ConfiguratorWindow, ApplyingAnotherLanguageReopensTheWindowInIt)
{
    // A second language in the installation.
    const std::string german = "\xEF\xBB\xBF[info]\r\nlanguage=Deutsch\r\n[synth]\r\ncfg.sf.tab=Klangschriften\r\n";
    HANDLE h = ::CreateFileW((config.Folder() + L"\\lang\\1031.lang").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(h, german.data(), static_cast<DWORD>(german.size()), &written, nullptr);
    ::CloseHandle(h);
    ResidentWindows().SetConfiguratorFactory([](HWND) { return CConfigurator::Open(); });
    ASSERT_TRUE(Open());
    HWND languages = OptionsControl(1016);
    const int count = static_cast<int>(::SendMessageW(languages, CB_GETCOUNT, 0, 0));
    int german_item = -1;
    for (int i = 0; i < count; ++i)
        if (::SendMessageW(languages, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == 1031)
            german_item = i;
    ASSERT_GE(german_item, 0);
    ::SendMessageW(languages, CB_SETCURSEL, static_cast<WPARAM>(german_item), 0);
    ::SendMessageW(*window->Page(kPageOptions), WM_COMMAND, MAKEWPARAM(1016, CBN_SELCHANGE), reinterpret_cast<LPARAM>(languages));
    HWND old = *window;
    Click(Apply());
    Pump();
    EXPECT_EQ(config.Stored(L"Advanced", L"LangID"), L"1031");
    EXPECT_FALSE(::IsWindow(old));
    auto* reopened = dynamic_cast<CConfigurator*>(ResidentWindows().Configurator());
    ASSERT_NE(reopened, nullptr);
    Track(reopened);
    wchar_t tab[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = tab;
    item.cchTextMax = 63;
    ::SendMessageW(window->Tabs().GetHwnd(), TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(tab, L"Klangschriften");
    Close();
    ResidentWindows().SetConfiguratorFactory(nullptr);
}

TEST_F(ConfiguratorWindow, RemembersItsTabAndIgnoresOneOutOfRange)
{
    ASSERT_TRUE(Open());
    window->SelectPage(kPageOptions);
    Close();
    EXPECT_EQ(config.Stored(L"Windows", L"Configurator.ActiveTab"), L"2");
    EXPECT_NE(config.Stored(L"Windows", L"Configurator"), L"<none>");
    ASSERT_TRUE(Open());
    EXPECT_EQ(window->CurrentPage(), kPageOptions);
    EXPECT_TRUE(::IsWindowVisible(*window->Page(kPageOptions)));
    EXPECT_FALSE(::IsWindowVisible(*window->Page(kPageSoundFonts)));
    Close();
    for (const wchar_t* stored : {L"6", L"-1", L"40"}) {
        config.Settings().WriteText(L"Windows", L"Configurator.ActiveTab", stored);
        ASSERT_TRUE(Open());
        EXPECT_EQ(window->CurrentPage(), kPageSoundFonts) << stored;
        Close();
    }
}

TEST_F(ConfiguratorWindow, CtrlTabWrapsAndEscapeNeverCloses)
{
    ASSERT_TRUE(Open());
    HWND list = Control(kPageSoundFonts, IDC_SF_LIST);
    ::SetFocus(list);
    window->SelectPage(kPageAbout);
    ::PostMessageW(list, WM_KEYDOWN, VK_TAB, 1);
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    state[VK_CONTROL] = 0x80;
    ::SetKeyboardState(state);
    Pump();
    EXPECT_EQ(window->CurrentPage(), kPageSoundFonts);
    state[VK_SHIFT] = 0x80;
    ::SetKeyboardState(state);
    ::PostMessageW(list, WM_KEYDOWN, VK_TAB, 1);
    Pump();
    EXPECT_EQ(window->CurrentPage(), kPageAbout);
    state[VK_CONTROL] = state[VK_SHIFT] = 0;
    ::SetKeyboardState(state);

    ::PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1);
    ::PostMessageW(list, WM_CHAR, 27, 1);
    Pump();
    EXPECT_TRUE(window->IsWindow());
    // The close box still closes it.
    ::SendMessageW(*window, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
    EXPECT_FALSE(window->IsWindow());
}

TEST_F(ConfiguratorWindow, TheWindowIsNoSmallerThanItsMinimumAndCarriesTheProductName)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(TextOf(*window), L"Ambrella Tessaline - 2.14.1");
    ::SetWindowPos(*window, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    RECT r{};
    ::GetWindowRect(*window, &r);
    EXPECT_GE(r.right - r.left, window->Scale(650));
    EXPECT_GE(r.bottom - r.top, window->Scale(500));
    wchar_t tab[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = tab;
    item.cchTextMax = 63;
    ::SendMessageW(window->Tabs().GetHwnd(), TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(tab, L"SoundFonts");
    EXPECT_EQ(window->Tabs().Count(), 6);
}

}  // namespace
