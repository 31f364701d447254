// The [SoundFonts] section: reading rules, masks, relative paths, what is
// written, and round trips through configuration and soundfont-list files.
#include <gtest/gtest.h>

#include "settings_test_folder.h"

using namespace tsltest_core;

TEST(SettingsSoundFonts, AsteriskEntryIsDisabledWithDefaultOptions)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=4\r\n[SoundFonts]\r\nsf1=*C:\\fonts\\piano.sf2\r\n"
                    "sf1.enabled=15\r\nsf1.bank=3\r\nsf1.preload=0\r\n");
    ASSERT_EQ(s.store->SoundFonts.size(), 1u);
    const SoundFontEntry& e = s.store->SoundFonts[0];
    EXPECT_EQ(e.FileName, L"C:\\fonts\\piano.sf2");
    EXPECT_EQ(e.EnabledPorts, 0u);
    EXPECT_EQ(e.Bank, 0);
    EXPECT_EQ(e.Preset, -1);
    EXPECT_EQ(e.Volume, 100);
    EXPECT_EQ(e.Preload, 1u);
    EXPECT_EQ(e.XgDrums, 0u);
}

TEST(SettingsSoundFonts, MaskIsTrimmedToThePortsOnReadingAndOnSaving)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=2\r\n[SoundFonts]\r\nsf1=C:\\a.sf2\r\nsf1.enabled=7\r\n");
    ASSERT_EQ(s.store->SoundFonts.size(), 1u);
    EXPECT_EQ(s.store->SoundFonts[0].EnabledPorts, 3u);

    s.store->SoundFonts[0].EnabledPorts = 7;  // as if set while more ports existed
    s.store->SaveSoundFontList();
    EXPECT_EQ(s.store->SoundFonts[0].EnabledPorts, 3u) << "the entry itself is masked";
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1.enabled"), L"3");
}

TEST(SettingsSoundFonts, AGapInTheNumberingEndsTheList)
{
    StoreInFolder s("[SoundFonts]\r\nsf1=C:\\a.sf2\r\nsf3=C:\\c.sf2\r\nsf4=C:\\d.sf2\r\n");
    ASSERT_EQ(s.store->SoundFonts.size(), 1u);
    EXPECT_EQ(s.store->SoundFonts[0].FileName, L"C:\\a.sf2");
}

TEST(SettingsSoundFonts, OptionsAreReadAndOnlyNonDefaultsWritten)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=4\r\n[SoundFonts]\r\n"
                    "sf1=C:\\a.sf2\r\nsf1.enabled=5\r\nsf1.bank=-3\r\nsf1.preset=12\r\nsf1.preload=0\r\n"
                    "sf1.volume=250\r\nsf1.xgdrums=1\r\n"
                    "sf2=C:\\b.sf2\r\n");
    ASSERT_EQ(s.store->SoundFonts.size(), 2u);
    const SoundFontEntry& a = s.store->SoundFonts[0];
    EXPECT_EQ(a.EnabledPorts, 5u);
    EXPECT_EQ(a.Bank, -3);
    EXPECT_EQ(a.Preset, 12);
    EXPECT_EQ(a.Preload, 0u);
    EXPECT_EQ(a.Volume, 250);
    EXPECT_EQ(a.XgDrums, 1u);

    s.store->SaveSoundFontList();
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1.bank"), L"-3");
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1.preset"), L"12");
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1.preload"), L"0");
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1.volume"), L"250");
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1.xgdrums"), L"1");
    for (const wchar_t* option : {L"enabled", L"bank", L"preset", L"preload", L"volume", L"xgdrums"})
        EXPECT_EQ(s.Stored(L"SoundFonts", std::wstring(L"sf2.") + option), L"<none>") << option;
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf2"), L"C:\\b.sf2");
}

TEST(SettingsSoundFonts, SavingReplacesTheWholeSection)
{
    StoreInFolder s("[SoundFonts]\r\nsf1=C:\\a.sf2\r\nsf2=C:\\b.sf2\r\nsf2.volume=50\r\nsf3=C:\\c.sf2\r\n"
                    "[Mixer]\r\nTopMost=1\r\n");
    s.store->SoundFonts.erase(s.store->SoundFonts.begin());
    s.store->SaveSoundFontList();
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1"), L"C:\\b.sf2");
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1.volume"), L"50");
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf2"), L"C:\\c.sf2");
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf2.volume"), L"<none>");
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf3"), L"<none>");
    EXPECT_EQ(s.Stored(L"Mixer", L"TopMost"), L"1") << "other sections stay";
}

TEST(SettingsSoundFonts, RelativePathsAreTakenFromTheListFilesFolder)
{
    StoreInFolder s("[Advanced]\r\n");
    s.folder.Write(L"lists\\fonts\\strings.sf2", std::string(3000, 'x'));
    s.folder.Write(L"lists\\mine.tslsf",
                   "[SoundFonts]\r\nsf1=fonts\\strings.sf2\r\nsf1.enabled=1\r\nsf2=..\\elsewhere.sf2\r\n");
    SoundFontList list;
    s.store->LoadSoundFontList(list, s.folder.File(L"lists\\mine.tslsf"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].FileName, s.folder.File(L"lists\\fonts\\strings.sf2"));
    EXPECT_EQ(list[0].FileSize, 3000u);
    EXPECT_EQ(list[1].FileName, s.folder.File(L"elsewhere.sf2"));
    EXPECT_EQ(list[1].FileSize, 0u) << "a file that cannot be examined keeps the entry with size 0";
}

TEST(SettingsSoundFonts, ListFileRoundTripKeepsEverythingIncludingNonAsciiPaths)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=3\r\n");
    SoundFontList list(2);
    list[0].FileName = s.folder.File(L"\u00c9t\u00e9 \u266b.sf2");
    list[0].EnabledPorts = 6;
    list[0].Preset = 0;
    list[0].Volume = 0;
    list[1].FileName = L"D:\\x.sfz";
    list[1].Bank = 128;
    list[1].Preload = 0;
    list[1].XgDrums = 1;
    const std::wstring file = s.folder.File(L"export.tslsf");
    s.store->SaveSoundFontList(list, file);

    SoundFontList back;
    s.store->LoadSoundFontList(back, file);
    ASSERT_EQ(back.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back[i].FileName, list[i].FileName);
        EXPECT_EQ(back[i].EnabledPorts, list[i].EnabledPorts);
        EXPECT_EQ(back[i].Bank, list[i].Bank);
        EXPECT_EQ(back[i].Preset, list[i].Preset);
        EXPECT_EQ(back[i].Volume, list[i].Volume);
        EXPECT_EQ(back[i].Preload, list[i].Preload);
        EXPECT_EQ(back[i].XgDrums, list[i].XgDrums);
    }
    EXPECT_TRUE(s.store->SoundFonts.empty()) << "the store's own list is not touched";
    EXPECT_EQ(s.Stored(L"SoundFonts", L"sf1"), L"<none>");
}

TEST(SettingsSoundFonts, EightBitConfigurationTakesPathsOutsideItsCodePage)
{
    StoreInFolder s("; kept\r\n[Advanced]\r\nDevicesCount=2\r\n[Mixer]\r\nZoom=150\r\n");
    s.store->SoundFonts.resize(1);
    s.store->SoundFonts[0].FileName = L"C:\\\u97f3\u8272\\\u266b piano.sf2";
    s.store->SoundFonts[0].EnabledPorts = 2;
    s.store->SaveSoundFontList();

    CSettings again(s.folder.Path());
    ASSERT_EQ(again.SoundFonts.size(), 1u);
    EXPECT_EQ(again.SoundFonts[0].FileName, L"C:\\\u97f3\u8272\\\u266b piano.sf2");
    EXPECT_EQ(again.SoundFonts[0].EnabledPorts, 2u);
    EXPECT_EQ(again.DevicesCount.Get(), 2u);
    EXPECT_EQ(again.Zoom.Get(), 150u);
    std::wstring text = ReadProfileFileText(s.store->ConfigFile());
    EXPECT_NE(text.find(L"; kept"), std::wstring::npos) << "the conversion keeps every line";
    EXPECT_EQ(GetFileAttributesW((s.store->ConfigFile() + L".tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}
