// Language files and the language table: fallback to English, file format
// rules, placeholders, the language list and translated windows.
#include <gtest/gtest.h>

#include "core/language.h"
#include "settings_test_folder.h"

using namespace tsltest_core;

namespace {

// An installation folder with the given language files; the table is dropped
// before and after each test so no test sees another's texts.
class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override { UnloadLanguage(); }
    void TearDown() override { UnloadLanguage(); }
    void Lang(DWORD id, const std::string& content) const
    {
        folder.Write(L"lang\\" + std::to_wstring(id) + L".lang", content);
    }
    void Load(DWORD id) const { LoadLanguage(folder.Path(), id); }

    TempFolder folder;
};

const char* kEnglish =
    "\xEF\xBB\xBF"
    "[info]\r\nlanguage=English (United States)\r\n"
    "[common]\r\ncommon.ok=OK\r\ncommon.cancel=Cancel\r\n"
    "[synth]\r\nerr.listenThread=The listener could not start ({0}). Error {0}.\r\n"
    "scm.exit=Exit {0}\r\nwarn.restartTsl=Restart now?\r\n"
    "[midiconverter]\r\nmc.title=MIDI Converter\r\n";

}  // namespace

TEST_F(LanguageTest, MissingLanguageFallsBackToEnglish)
{
    Lang(1033, kEnglish);
    Load(1040);
    EXPECT_EQ(GetText(L"common.ok"), L"OK");
    EXPECT_EQ(GetText(L"warn.restartTsl"), L"Restart now?");
    EXPECT_EQ(GetText(L"mc.title"), L"mc.title") << "the converter's section is loaded only on request";
}

TEST_F(LanguageTest, SelectedLanguageWinsButEmptyValuesKeepEnglish)
{
    Lang(1033, kEnglish);
    Lang(1040, "[common]\ncommon.cancel=Annulla\ncommon.ok=   \n[synth]\nscm.exit=Esci da {0}\n");
    Load(1040);
    EXPECT_EQ(GetText(L"common.cancel"), L"Annulla");
    EXPECT_EQ(GetText(L"common.ok"), L"OK");
    EXPECT_EQ(GetText(L"scm.exit", L"Tessaline"), L"Esci da Tessaline");
    EXPECT_EQ(GetText(L"warn.restartTsl"), L"Restart now?");
}

TEST_F(LanguageTest, EnglishIsReadOnceWhenItIsTheSelectedLanguage)
{
    Lang(1033, kEnglish);
    Load(1033);
    EXPECT_EQ(GetText(L"common.cancel"), L"Cancel");
}

TEST_F(LanguageTest, PlaceholdersAreFilledEverywhereAndOnlyWhenGiven)
{
    Lang(1033, kEnglish);
    Load(1033);
    EXPECT_EQ(GetText(L"err.listenThread", L"5: Access is denied."),
              L"The listener could not start (5: Access is denied.). Error 5: Access is denied..");
    EXPECT_EQ(GetText(L"err.listenThread"), L"The listener could not start ({0}). Error {0}.");
    EXPECT_EQ(GetText(L"warn.restartTsl", L"unused"), L"Restart now?");
    EXPECT_EQ(GetText(L"x {1} {0} {2}", std::nullopt, L"b", L"c"), L"x b {0} c");
}

TEST_F(LanguageTest, MissingKeyGivesTheKey)
{
    Lang(1033, kEnglish);
    Load(1033);
    EXPECT_EQ(GetText(L"warn.openDevices"), L"warn.openDevices");
    EXPECT_EQ(GetText(L"COMMON.OK"), L"COMMON.OK") << "keys compare with letter case";
}

TEST_F(LanguageTest, NoLanguageFolderAtAll)
{
    Load(1040);
    EXPECT_EQ(GetText(L"common.ok"), L"common.ok");
    EXPECT_TRUE(EnumLanguages(LanguageFolder(folder.Path())).empty());
}

TEST_F(LanguageTest, FileFormatRules)
{
    Lang(1033,
         "; a comment line\n"
         "[COMMON]\n"
         "  spaced.key   =   spaced value  \r\n"
         "two.lines=first\\nsecond\n"
         "; common.commented=no\n"
         "no equals sign here\n"
         "eq.in.value=a=b\n"
         "utf8=\xC3\xA9t\xC3\xA9 \xE2\x99\xAB\n"
         "[other]\n"
         "other.key=not common\n"
         "[common]\n"
         "second.section=ignored\n");
    Load(1033);
    EXPECT_EQ(GetText(L"spaced.key"), L"spaced value");
    EXPECT_EQ(GetText(L"two.lines"), L"first\nsecond");
    EXPECT_EQ(GetText(L"common.commented"), L"common.commented");
    EXPECT_EQ(GetText(L"eq.in.value"), L"a=b");
    EXPECT_EQ(GetText(L"utf8"), L"\u00e9t\u00e9 \u266b");
    EXPECT_EQ(GetText(L"other.key"), L"other.key");
    EXPECT_EQ(GetText(L"second.section"), L"second.section") << "only the first section of that name counts";
}

TEST_F(LanguageTest, LoadSectionAddsTheConverterTextsAndALanguageChangeKeepsThem)
{
    Lang(1033, kEnglish);
    Lang(1031, "[midiconverter]\nmc.title=MIDI-Konverter\n");
    Load(1033);
    LoadSection(L"midiconverter");
    EXPECT_EQ(GetText(L"mc.title"), L"MIDI Converter");
    EXPECT_EQ(GetText(L"common.ok"), L"OK");
    Load(1031);
    EXPECT_EQ(GetText(L"mc.title"), L"MIDI-Konverter");
}

TEST_F(LanguageTest, EnumLanguagesListsNumberedFilesWithADisplayName)
{
    Lang(1033, kEnglish);
    Lang(1040, "[info]\nlanguage=Italiano\n");
    Lang(1031, "[info]\nlanguage=\n");  // no display name
    Lang(1036, "[common]\nlanguage=Fran\xC3\xA7" "ais\n");  // not in [info]
    folder.Write(L"lang\\english.lang", "[info]\nlanguage=Not a number\n");
    folder.Write(L"lang\\1049.txt", "[info]\nlanguage=Wrong extension\n");
    folder.Write(L"lang\\1041", "[info]\nlanguage=No extension\n");

    std::map<DWORD, std::wstring> languages = EnumLanguages(LanguageFolder(folder.Path()));
    ASSERT_EQ(languages.size(), 2u);
    EXPECT_EQ(languages[1033], L"English (United States)");
    EXPECT_EQ(languages[1040], L"Italiano");

    Load(1033);
    EXPECT_EQ(EnumLanguages().size(), 2u) << "without a folder: the current table's";
}

TEST_F(LanguageTest, TranslateWindowChangesTheWindowAndItsDirectChildren)
{
    Lang(1033, kEnglish);
    Load(1033);
    HWND top = CreateWindowExW(0, L"STATIC", L"scm.exit", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(top);
    HWND ok = CreateWindowExW(0, L"BUTTON", L"common.ok", WS_CHILD, 0, 0, 50, 20, top, nullptr, nullptr, nullptr);
    HWND plain = CreateWindowExW(0, L"STATIC", L"Just text", WS_CHILD, 0, 0, 50, 20, top, nullptr, nullptr, nullptr);
    HWND empty = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 50, 20, top, nullptr, nullptr, nullptr);
    HWND inner = CreateWindowExW(0, L"STATIC", L"common.cancel", WS_CHILD, 0, 0, 50, 20, plain, nullptr, nullptr,
                                 nullptr);

    TranslateWindow(top);
    auto caption = [](HWND w) {
        wchar_t text[256] = {};
        GetWindowTextW(w, text, 256);
        return std::wstring(text);
    };
    EXPECT_EQ(caption(top), L"Exit {0}");
    EXPECT_EQ(caption(ok), L"OK");
    EXPECT_EQ(caption(plain), L"Just text");
    EXPECT_EQ(caption(empty), L"");
    EXPECT_EQ(caption(inner), L"common.cancel") << "grandchildren are left to their own parent";
    DestroyWindow(top);
}
