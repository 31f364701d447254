// The SoundFont editor: its clamps as the user types, what OK and Cancel
// report, and the information text of a font.
#include "configurator_test_support.h"

#include "configurator/resource_ids.h"
#include "configurator/soundfont_editor.h"

namespace {

using namespace cfgtest;

class SoundFontEditor : public ConfiguratorTest {
protected:
    SoundFontEntry Entry(const std::wstring& path)
    {
        SoundFontEntry e;
        e.FileName = path;
        e.EnabledPorts = 1;
        e.FileSize = 12345;  // as read earlier; OK refreshes it only when something changed
        return e;
    }
    // Opens the editor on `entry`, runs `script` in it, and returns what EditSoundFont said.
    bool Edit(SoundFontEntry& entry, std::function<void(HWND)> script)
    {
        WhenDialogOpens(L"Soundfont Settings", std::move(script));
        return EditSoundFont(entry, nullptr);
    }
};

TEST_F(SoundFontEditor, TypedValuesAreClampedAndTheBankFollowsThePreset)
{
    const std::wstring font = WriteTestFont("ed_clamp.sf2", {{}});
    SoundFontEntry entry = Entry(font);
    std::wstring preset, bankLabel, bank;
    const bool changed = Edit(entry, [&](HWND dlg) {
        HWND presetEdit = ::GetDlgItem(dlg, IDC_ED_PRESET), bankEdit = ::GetDlgItem(dlg, IDC_ED_BANK);
        Type(presetEdit, L"200");
        preset = TextOf(presetEdit);
        Type(presetEdit, L"-5");
        EXPECT_EQ(TextOf(presetEdit), L"-1");
        EXPECT_NE(TextOf(::GetDlgItem(dlg, IDC_ED_BANK_LABEL)).find(L"Bank offset (-128 to 255"), std::wstring::npos);
        Type(bankEdit, L"-100");
        EXPECT_EQ(TextOf(bankEdit), L"-100");
        Type(bankEdit, L"300");
        EXPECT_EQ(TextOf(bankEdit), L"255");
        Type(bankEdit, L"-100");
        Type(presetEdit, L"5");
        bankLabel = TextOf(::GetDlgItem(dlg, IDC_ED_BANK_LABEL));
        bank = TextOf(bankEdit);
        Type(::GetDlgItem(dlg, IDC_ED_VOLUME), L"9000");
        EXPECT_EQ(TextOf(::GetDlgItem(dlg, IDC_ED_VOLUME)), L"500");
        Click(::GetDlgItem(dlg, IDOK));
    });
    EXPECT_EQ(preset, L"127");
    EXPECT_EQ(bank, L"0");
    EXPECT_NE(bankLabel.find(L"Bank (0 to 128"), std::wstring::npos);
    EXPECT_TRUE(changed);
    EXPECT_EQ(entry.Preset, 5);
    EXPECT_EQ(entry.Bank, 0);
    EXPECT_EQ(entry.Volume, 500);
    EXPECT_NE(entry.FileSize, 12345u);
}

TEST_F(SoundFontEditor, OkWithoutChangesAndCancelReportNothing)
{
    const std::wstring font = WriteTestFont("ed_same.sf2", {{}});
    SoundFontEntry entry = Entry(font);
    EXPECT_FALSE(Edit(entry, [](HWND dlg) { Click(::GetDlgItem(dlg, IDOK)); }));
    EXPECT_EQ(entry.FileSize, 12345u);
    EXPECT_FALSE(Edit(entry, [](HWND dlg) {
        Click(::GetDlgItem(dlg, IDC_ED_XGDRUMS));
        Click(::GetDlgItem(dlg, IDCANCEL));
    }));
    EXPECT_EQ(entry.XgDrums, 0u);
    // Reset to defaults brings back preset -1, bank 0, volume 100, preload on, XG drums off.
    entry.Preset = 7;
    entry.Volume = 40;
    entry.Preload = 0;
    entry.XgDrums = 1;
    EXPECT_TRUE(Edit(entry, [](HWND dlg) {
        Click(::GetDlgItem(dlg, IDC_ED_RESET));
        Click(::GetDlgItem(dlg, IDOK));
    }));
    EXPECT_EQ(entry.Preset, -1);
    EXPECT_EQ(entry.Volume, 100);
    EXPECT_EQ(entry.Preload, 1u);
    EXPECT_EQ(entry.XgDrums, 0u);
}

TEST_F(SoundFontEditor, TheInformationTextListsTheFontsPresets)
{
    const std::wstring font = WriteTestFont("ed_info.sf2", {{0, 0, "Sine Lead"}, {0, 5, "Other"}, {128, 0, "Drums"}});
    std::wstring info;
    SoundFontEntry entry = Entry(font);
    Edit(entry, [&](HWND dlg) {
        info = TextOf(::GetDlgItem(dlg, IDC_ED_INFO));
        EXPECT_EQ(TextOf(::GetDlgItem(dlg, IDC_ED_FILE)), font);
        Click(::GetDlgItem(dlg, IDCANCEL));
    });
    EXPECT_EQ(info.rfind(L"Name: tessaline test\r\n", 0), 0u) << info;
    // The writer gives the font no copyright and no comment: the lines stay empty.
    EXPECT_NE(info.find(L"\r\nCopyright: \r\nComment: \r\n"), std::wstring::npos) << info;
    EXPECT_NE(info.find(L"Compressed samples: No\r\n"), std::wstring::npos);
    EXPECT_NE(info.find(L"Soundfont contains 3 presets:"), std::wstring::npos);
    EXPECT_NE(info.find(L"0:0 = Sine Lead"), std::wstring::npos);
    EXPECT_NE(info.find(L"0:5 = Other"), std::wstring::npos);
    EXPECT_NE(info.find(L"128:0 = Drums"), std::wstring::npos);
    EXPECT_NE(info.back(), L'\n');

    // A file that is gone opens with an empty box.
    EXPECT_EQ(SoundFontInfoText(L"Z:\\nonexistent\\gone.sf2", 0), L"");
    entry = Entry(L"Z:\\nonexistent\\gone.sf2");
    Edit(entry, [&](HWND dlg) {
        info = TextOf(::GetDlgItem(dlg, IDC_ED_INFO));
        Click(::GetDlgItem(dlg, IDCANCEL));
    });
    EXPECT_EQ(info, L"");
}

}  // namespace
