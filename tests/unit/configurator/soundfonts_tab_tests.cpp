// The SoundFonts page driven as a user would: adding files, port cells by
// click, Ctrl+click and digit keys, moving and removing entries, the duplicate
// check, and soundfont-list files exported and imported.
#include "configurator_test_support.h"

#include <shellapi.h>
#include <shlobj.h>
#include <commdlg.h>

#include <algorithm>

#include "configurator/resource_ids.h"
#include "configurator/tab_soundfonts.h"
#include "core/settings.h"

namespace {

using namespace cfgtest;

class SoundFontsPage : public ConfiguratorTest {
protected:
    explicit SoundFontsPage(const std::string& conf = "[Advanced]\r\nOutputDevice=0\r\nDevicesCount=3\r\n")
        : ConfiguratorTest(conf)
    {
    }
    void SetUp() override { ASSERT_TRUE(Open()); }
    CConfiguratorTabSoundFonts& Page() const { return *static_cast<CConfiguratorTabSoundFonts*>(window->Page(kPageSoundFonts)); }
    HWND List() const { return Control(kPageSoundFonts, IDC_SF_LIST); }
    HWND Button(int id) const { return Control(kPageSoundFonts, id); }
    void Add(const std::vector<std::wstring>& files)
    {
        FileDialogAnswers dialogs;
        dialogs.answers.push_back(files);
        Click(Button(IDC_SF_ADD));
        EXPECT_EQ(dialogs.titles, std::vector<std::wstring>{L"Add Soundfonts"});
    }
    // The middle of port cell `port` of item `index`.
    POINT Cell(int index, int port) const
    {
        RECT r{};
        ::SendMessageW(List(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
        const int w = Page().List().CellWidth();
        return {r.left + port * w + w / 2, (r.top + r.bottom) / 2};
    }
    std::vector<DWORD> Masks() const
    {
        std::vector<DWORD> masks;
        for (const SoundFontEntry& e : Page().Entries())
            masks.push_back(e.EnabledPorts);
        return masks;
    }
    std::vector<int> Selection() const { return Page().List().Selection(); }
    void Select(std::initializer_list<int> items)
    {
        Page().List().ClearSelection();
        for (int i : items)
            Page().List().SetSelected(i, true);
        ::SendMessageW(*window->Page(kPageSoundFonts), WM_COMMAND, MAKEWPARAM(IDC_SF_LIST, LBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(List()));
    }
};

TEST_F(SoundFontsPage, AddedFontsTakeTheDefaultsAndTheirDrumKitsAreRecognised)
{
    const std::wstring xg = WriteTestFont("cfg_xg.sf2", {{0, 0, "Piano"}, {127, 0, "Standard Kit"}, {127, 8, "Room Kit"}});
    const std::wstring gs = WriteTestFont("cfg_gs.sf2", {{0, 0, "Piano"}, {127, 0, "Standard"}, {127, 8, "Room GS"}});
    const std::wstring fluid = synthtest::HostSoundFont("FluidR3_GS.sf2");
    Add({fluid, xg, gs});
    ASSERT_EQ(Page().Entries().size(), 3u);
    for (const SoundFontEntry& e : Page().Entries()) {
        EXPECT_EQ(e.EnabledPorts, 7u);
        EXPECT_EQ(e.Bank, 0);
        EXPECT_EQ(e.Preset, -1);
        EXPECT_EQ(e.Volume, 100);
        EXPECT_EQ(e.Preload, 1u);
        EXPECT_GT(e.FileSize, 0u);
    }
    EXPECT_EQ(Page().Entries()[0].FileName, fluid);
    EXPECT_EQ(Page().Entries()[0].XgDrums, DetectXgDrums(fluid) ? 1u : 0u);
    EXPECT_EQ(Page().Entries()[1].XgDrums, 1u);
    EXPECT_EQ(Page().Entries()[2].XgDrums, 0u);
    // The new last item is selected; Apply is on; a missing file is still added.
    EXPECT_EQ(Selection(), std::vector<int>{2});
    EXPECT_TRUE(IsEnabled(::GetDlgItem(*window, IDC_CFG_APPLY)));
    Add({L"Z:\\nonexistent\\gone.sf2"});
    ASSERT_EQ(Page().Entries().size(), 4u);
    EXPECT_EQ(Page().Entries()[3].FileSize, 0u);
    EXPECT_EQ(Page().Entries()[3].XgDrums, 0u);
}

TEST_F(SoundFontsPage, PortCellsByClickCtrlClickAndDigitKeys)
{
    const std::wstring a = WriteTestFont("cfg_a.sf2", {{}}), b = WriteTestFont("cfg_b.sf2", {{}});
    Add({a, b});
    ASSERT_EQ(Masks(), (std::vector<DWORD>{7, 7}));

    // A click on port 2 of the unselected first item selects it alone and turns port 2 off.
    ClickAt(List(), Cell(0, 1));
    EXPECT_EQ(Selection(), std::vector<int>{0});
    EXPECT_EQ(Masks(), (std::vector<DWORD>{5, 7}));
    // With both selected, a click sets both to the opposite of the clicked one's state.
    Select({0, 1});
    ClickAt(List(), Cell(0, 1));
    EXPECT_EQ(Masks(), (std::vector<DWORD>{7, 7}));
    ClickAt(List(), Cell(1, 1));
    EXPECT_EQ(Masks(), (std::vector<DWORD>{5, 5}));
    // Ctrl+click: all ports off when the clicked one was on, all on when it was off.
    ClickAt(List(), Cell(1, 0), true);
    EXPECT_EQ(Masks(), (std::vector<DWORD>{0, 0}));
    ClickAt(List(), Cell(1, 2), true);
    EXPECT_EQ(Masks(), (std::vector<DWORD>{7, 7}));
    // Digits, from the main keyboard or the keypad, follow the first selected entry.
    Select({1});
    PressKey(List(), '3');
    EXPECT_EQ(Masks(), (std::vector<DWORD>{7, 3}));
    Select({0, 1});
    PressKey(List(), VK_NUMPAD3);
    EXPECT_EQ(Masks(), (std::vector<DWORD>{3, 3}));
    PressKey(List(), '4');  // no fourth port
    PressKey(List(), '9');
    EXPECT_EQ(Masks(), (std::vector<DWORD>{3, 3}));
    // Ctrl+A selects everything.
    Select({0});
    PressKey(List(), 'A', true);
    EXPECT_EQ(Selection(), (std::vector<int>{0, 1}));

    // Applied, the store and the file hold the masks.
    Click(::GetDlgItem(*window, IDC_CFG_APPLY));
    Pump();
    EXPECT_EQ(config.Stored(L"SoundFonts", L"sf1.enabled"), L"3");
    EXPECT_EQ(config.Stored(L"SoundFonts", L"sf2"), b);
    EXPECT_FALSE(IsEnabled(::GetDlgItem(*window, IDC_CFG_APPLY)));
}

TEST_F(SoundFontsPage, UpDownAndRemoveFollowTheSelection)
{
    const std::wstring f[4] = {WriteTestFont("cfg_0.sf2", {{}}), WriteTestFont("cfg_1.sf2", {{}}),
                               WriteTestFont("cfg_2.sf2", {{}}), WriteTestFont("cfg_3.sf2", {{}})};
    Add({f[0], f[1], f[2], f[3]});
    auto names = [&] {
        std::vector<std::wstring> out;
        for (const SoundFontEntry& e : Page().Entries())
            out.push_back(e.FileName);
        return out;
    };
    // A selection with a gap moves nowhere.
    Select({0, 2});
    EXPECT_FALSE(IsEnabled(Button(IDC_SF_UP)));
    EXPECT_FALSE(IsEnabled(Button(IDC_SF_DOWN)));
    EXPECT_FALSE(IsEnabled(Button(IDC_SF_EDIT)));
    EXPECT_TRUE(IsEnabled(Button(IDC_SF_REMOVE)));
    // The first item cannot go up, the last cannot go down.
    Select({0, 1});
    EXPECT_FALSE(IsEnabled(Button(IDC_SF_UP)));
    EXPECT_TRUE(IsEnabled(Button(IDC_SF_DOWN)));
    Click(Button(IDC_SF_DOWN));
    EXPECT_EQ(names(), (std::vector<std::wstring>{f[2], f[0], f[1], f[3]}));
    EXPECT_EQ(Selection(), (std::vector<int>{1, 2}));
    Click(Button(IDC_SF_DOWN));
    EXPECT_EQ(names(), (std::vector<std::wstring>{f[2], f[3], f[0], f[1]}));
    EXPECT_EQ(Selection(), (std::vector<int>{2, 3}));
    EXPECT_FALSE(IsEnabled(Button(IDC_SF_DOWN)));
    Click(Button(IDC_SF_UP));
    EXPECT_EQ(names(), (std::vector<std::wstring>{f[2], f[0], f[1], f[3]}));
    EXPECT_EQ(Selection(), (std::vector<int>{1, 2}));
    // Removing selects the item before the first removed one.
    Click(Button(IDC_SF_REMOVE));
    EXPECT_EQ(names(), (std::vector<std::wstring>{f[2], f[3]}));
    EXPECT_EQ(Selection(), std::vector<int>{0});
    Select({0, 1});
    Click(Button(IDC_SF_REMOVE));
    EXPECT_TRUE(Page().Entries().empty());
    EXPECT_FALSE(IsEnabled(Button(IDC_SF_REMOVE)));
}

TEST_F(SoundFontsPage, DuplicatesStopTheSaveWithTheLaterOneSelected)
{
    const std::wstring a = WriteTestFont("cfg_dup.sf2", {{}}), b = WriteTestFont("cfg_other.sf2", {{}});
    std::wstring upper = a;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(::towupper(c));
    Add({a, b, upper});
    Select({0});
    const std::string before = FileBytes(ConfigFile());
    Click(::GetDlgItem(*window, IDOK));
    Pump();
    EXPECT_TRUE(window->IsWindow());
    ASSERT_FALSE(Messages().empty());
    EXPECT_NE(Messages().back().find(L"appears twice"), std::wstring::npos);
    EXPECT_EQ(Selection(), std::vector<int>{2});
    EXPECT_EQ(FileBytes(ConfigFile()), before);
    // Disabled everywhere, the later one is no duplicate.
    ClickAt(List(), Cell(2, 0), true);
    Click(::GetDlgItem(*window, IDOK));
    Pump();
    EXPECT_FALSE(window->IsWindow());
    EXPECT_EQ(config.Settings().SoundFonts.size(), 3u);
}

TEST_F(SoundFontsPage, ListFilesRoundTripAnyScriptAndABrokenFileChangesNothing)
{
    const std::wstring named = WriteTestFont("cfg_named.sf2", {{}});
    const std::wstring folder = config.Folder() + L"\\\u97F3\u8272 \u041F\u0435\u0441\u043D\u0438";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring font = folder + L"\\\U0001F3B5 \u00C9t\u00E9.sf2";
    ASSERT_TRUE(::CopyFileW(named.c_str(), font.c_str(), FALSE));
    Add({font, named});
    Select({1});
    PressKey(List(), '2');
    const SoundFontList exported = Page().Entries();

    const std::wstring list = folder + L"\\\u30EA\u30B9\u30C8.tslsf";
    {
        FileDialogAnswers dialogs;
        dialogs.answers.push_back({list});
        Click(Button(IDC_SF_EXPORT));
        EXPECT_EQ(dialogs.titles, std::vector<std::wstring>{L"Export Soundfont List"});
        // The user is asked before a file that exists is replaced.
        ASSERT_EQ(dialogs.flags.size(), 1u);
        EXPECT_TRUE(dialogs.flags[0] & OFN_OVERWRITEPROMPT);
    }
    const std::string bytes = FileBytes(list);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");

    // Empty the list, then import: the same entries come back.
    Select({0, 1});
    Click(Button(IDC_SF_REMOVE));
    ASSERT_TRUE(Page().Entries().empty());
    {
        FileDialogAnswers dialogs;
        dialogs.answers.push_back({list});
        Click(Button(IDC_SF_IMPORT));
    }
    ASSERT_EQ(Page().Entries().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(Page().Entries()[i].FileName, exported[i].FileName);
        EXPECT_EQ(Page().Entries()[i].EnabledPorts, exported[i].EnabledPorts);
        EXPECT_EQ(Page().Entries()[i].FileSize, exported[i].FileSize);
    }

    // A broken file: an error naming it, the list untouched.
    const std::wstring broken = config.Folder() + L"\\broken.tslsf";
    HANDLE h = ::CreateFileW(broken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(h, "[SoundFonts]\r\nsf1=C:\\a.sf2\r\nsf1.volume=loud\r\n", 44, &written, nullptr);
    ::CloseHandle(h);
    const size_t messages = Messages().size();
    for (const std::wstring& bad : {broken, config.Folder() + L"\\missing.tslsf", ConfigFile() + L"\\nothing"}) {
        FileDialogAnswers dialogs;
        dialogs.answers.push_back({bad});
        Click(Button(IDC_SF_IMPORT));
    }
    ASSERT_EQ(Messages().size(), messages + 3);
    EXPECT_NE(Messages()[messages].find(L"Line 3"), std::wstring::npos);
    EXPECT_NE(Messages()[messages].find(broken), std::wstring::npos);
    EXPECT_EQ(Page().Entries().size(), 2u);

    // An export that cannot be written says so.
    {
        FileDialogAnswers dialogs;
        dialogs.answers.push_back({config.Folder() + L"\\no such folder\\x.tslsf"});
        Click(Button(IDC_SF_EXPORT));
    }
    ASSERT_EQ(Messages().size(), messages + 4);
    EXPECT_NE(Messages().back().find(L"could not be saved"), std::wstring::npos);
}

TEST_F(SoundFontsPage, DroppedFilesAreAddedInTheirOrderWithoutAnyCheck)
{
    const std::wstring a = WriteTestFont("cfg_drop.sf2", {{}});
    const std::vector<std::wstring> files = {a, config.Folder() + L"\\notes.txt"};
    size_t chars = 1;
    for (const std::wstring& f : files)
        chars += f.size() + 1;
    HGLOBAL drop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(::GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    wchar_t* at = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& f : files) {
        std::copy(f.begin(), f.end(), at);
        at += f.size() + 1;
    }
    ::GlobalUnlock(drop);
    ::SendMessageW(List(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    ASSERT_EQ(Page().Entries().size(), 2u);
    EXPECT_EQ(Page().Entries()[0].FileName, a);
    EXPECT_EQ(Page().Entries()[1].FileName, files[1]);
    EXPECT_EQ(Page().Entries()[1].EnabledPorts, 7u);
    EXPECT_EQ(Selection(), std::vector<int>{1});
    EXPECT_TRUE(IsEnabled(::GetDlgItem(*window, IDC_CFG_APPLY)));
}

TEST_F(SoundFontsPage, AnEmptyListShowsItsHelpAndEditorChangesMarkThePage)
{
    EXPECT_EQ(Page().List().Count(), 0);
    EXPECT_FALSE(IsEnabled(Button(IDC_SF_EDIT)));
    const std::wstring a = WriteTestFont("cfg_edit.sf2", {{0, 3, "Three"}});
    Add({a});
    Click(::GetDlgItem(*window, IDC_CFG_APPLY));
    Pump();
    ASSERT_FALSE(IsEnabled(::GetDlgItem(*window, IDC_CFG_APPLY)));
    // A double click opens the editor; a change there marks the page.
    WhenDialogOpens(L"Soundfont Settings", [](HWND editor) {
        Type(::GetDlgItem(editor, IDC_ED_VOLUME), L"250");
        Click(::GetDlgItem(editor, IDOK));
    });
    RECT r{};
    ::SendMessageW(List(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
    ::SendMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.right - 10, (r.top + r.bottom) / 2));
    EXPECT_EQ(Page().Entries()[0].Volume, 250);
    EXPECT_TRUE(IsEnabled(::GetDlgItem(*window, IDC_CFG_APPLY)));
}

}  // namespace
