// Soundfont-list files as bytes: the layout the configuration file uses, the
// forms older files came in, and every way a file can be broken.
#include <gtest/gtest.h>

#include "configurator/soundfont_list_format.h"

namespace {

using sflist::Fault;
using sflist::Item;

const std::wstring kFolder = L"C:\\Lists";

Item Make(std::wstring path, uint32_t ports)
{
    Item item;
    item.path = std::move(path);
    item.ports = ports;
    return item;
}

std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

TEST(SoundFontListFormat, ReadsTheConfigurationFileLayout)
{
    const auto result = sflist::ParseSoundFontList("[SoundFonts]\r\nsf1=C:\\A.sf2\r\nsf1.enabled=3\r\nsf1.bank=2\r\n"
                                                   "sf1.preset=5\r\nsf1.preload=0\r\nsf1.volume=250\r\nsf1.xgdrums=1\r\n"
                                                   "SF2 = C:\\B.sf2 \r\n",
                                                   4, kFolder);
    ASSERT_TRUE(result.Ok());
    ASSERT_EQ(result.items.size(), 2u);
    EXPECT_EQ(result.items[0], (Item{L"C:\\A.sf2", 3, 2, 5, 250, 0, 1}));
    // Keys are found without regard to case, blanks around them do not count,
    // and missing options take their defaults.
    EXPECT_EQ(result.items[1], (Item{L"C:\\B.sf2", 0, 0, -1, 100, 1, 0}));
}

TEST(SoundFontListFormat, NumberingGapsAsterisksMasksAndRelativePaths)
{
    // A gap ends the list; an asterisk disables the entry and its options are not read.
    auto result = sflist::ParseSoundFontList("[SoundFonts]\nsf1=*D:\\Off.sf2\nsf1.enabled=1\nsf3=D:\\Lost.sf2\n", 4,
                                             kFolder);
    ASSERT_TRUE(result.Ok());
    ASSERT_EQ(result.items.size(), 1u);
    EXPECT_EQ(result.items[0], (Item{L"D:\\Off.sf2", 0}));

    // With two ports a mask of 7 reads as 3.
    result = sflist::ParseSoundFontList("[SoundFonts]\nsf1=D:\\a.sf2\nsf1.enabled=7\n", 2, kFolder);
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(result.items[0].ports, 3u);

    // Relative paths are taken from the list file's folder, not the current one.
    result = sflist::ParseSoundFontList("[SoundFonts]\nsf1=fonts\\a.sf2\nsf2=..\\b.sf2\nsf3=\\c.sf2\nsf4=./d.sf2\n", 1,
                                        L"E:\\Music\\Lists");
    ASSERT_TRUE(result.Ok());
    ASSERT_EQ(result.items.size(), 4u);
    EXPECT_EQ(result.items[0].path, L"E:\\Music\\Lists\\fonts\\a.sf2");
    EXPECT_EQ(result.items[1].path, L"E:\\Music\\b.sf2");
    EXPECT_EQ(result.items[2].path, L"E:\\c.sf2");
    EXPECT_EQ(result.items[3].path, L"E:\\Music\\Lists\\d.sf2");
    EXPECT_EQ(sflist::ResolvePath(L"\\\\server\\share\\lists", L"..\\..\\..\\x.sf2"), L"\\\\server\\share\\x.sf2");

    // A section without entry 1 is an empty list, not a fault.
    result = sflist::ParseSoundFontList("[SoundFonts]\nsf2=D:\\b.sf2\n", 1, kFolder);
    EXPECT_TRUE(result.Ok());
    EXPECT_TRUE(result.items.empty());
}

TEST(SoundFontListFormat, OlderEncodingsAreStillRead)
{
    const std::wstring name = L"C:\\Fonts\\\u00C9t\u00E9 \u97F3\u8272 \u041F\u0435\u0441\u043D\u044F.sf2";
    // UTF-16 with a byte-order mark, as the system's profile calls keep a Unicode file.
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : L"[SoundFonts]\r\nsf1=" + name + L"\r\nsf1.enabled=1\r\n") {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    auto result = sflist::ParseSoundFontList(utf16, 1, kFolder);
    ASSERT_TRUE(result.Ok());
    ASSERT_EQ(result.items.size(), 1u);
    EXPECT_EQ(result.items[0].path, name);

    // UTF-8 without a byte-order mark.
    result = sflist::ParseSoundFontList(Utf8(u8"[SoundFonts]\nsf1=C:\\\u97F3.sf2\n"), 1, kFolder);
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(result.items[0].path, L"C:\\\u97F3.sf2");

    // 8-bit text of the system's code page: "\xE9" is not UTF-8.
    result = sflist::ParseSoundFontList("[SoundFonts]\nsf1=C:\\\xC9t\xE9\x80.sf2\n", 1, kFolder);
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(result.items[0].path, L"C:\\\u00C9t\u00E9\u20AC.sf2");
    // ...decoded by the caller's decoder when it gives one.
    result = sflist::ParseSoundFontList("[SoundFonts]\nsf1=C:\\\xE9.sf2\n", 1, kFolder,
                                        [](std::string_view) { return std::wstring(L"[SoundFonts]\nsf1=C:\\x.sf2"); });
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(result.items[0].path, L"C:\\x.sf2");
}

TEST(SoundFontListFormat, BrokenFilesYieldNothingAndSayWhere)
{
    struct Case {
        std::string bytes;
        Fault fault;
        size_t line;
    };
    const std::string longPath(300, 'a');
    const Case cases[] = {
        {std::string("\x00\x01\x02[SoundFonts]", 15), Fault::NotText, 0},           // binary
        {"\xEF\xBB\xBF[SoundFonts]\nsf1=\xC3(\n", Fault::NotText, 0},                 // bad UTF-8 after its mark
        {std::string("\xFF\xFE[\x00S", 5), Fault::NotText, 0},                                     // odd-length UTF-16
        {std::string("\xFF\xFE\x00\xD8[\x00", 6), Fault::NotText, 0},                                  // unpaired surrogate
        {"[Other]\nsf1=C:\\a.sf2\n", Fault::NoSection, 0},
        {"", Fault::NoSection, 0},
        {"[SoundFonts]\nsf1=C:\\a.sf2\nthis is no key\n", Fault::BadLine, 3},
        {"[SoundFonts]\nsf1=C:\\a.sf2\n=5\n", Fault::BadLine, 3},
        {"[SoundFonts]\nsf1=C:\\a.sf2\nsf1.volume=loud\n", Fault::BadNumber, 3},
        {"[SoundFonts]\nsf1=C:\\a.sf2\nsf1.bank=99999999999\n", Fault::BadNumber, 3},
        {"[SoundFonts]\nsf1=*\n", Fault::BadPath, 2},
        {"[SoundFonts]\nsf1=C:\\" + longPath + "\n", Fault::BadPath, 2},
    };
    for (const Case& c : cases) {
        const auto result = sflist::ParseSoundFontList(c.bytes, 4, kFolder);
        EXPECT_EQ(result.fault, c.fault) << c.bytes;
        EXPECT_EQ(result.line, c.line) << c.bytes;
        EXPECT_TRUE(result.items.empty()) << c.bytes;
    }
    // Comments and blank lines are no fault; other sections may hold anything.
    const auto ok = sflist::ParseSoundFontList("[Notes]\nanything at all\n[SoundFonts]\n; mine\n\nsf1=C:\\a.sf2\n", 1,
                                               kFolder);
    EXPECT_TRUE(ok.Ok());
    EXPECT_EQ(ok.items.size(), 1u);
}

TEST(SoundFontListFormat, WritesOnlyWhatDiffersFromTheDefaults)
{
    const std::vector<Item> items = {Make(L"C:\\a.sf2", 1), Make(L"C:\\b.sf2", 0), Item{L"C:\\c.sf2", 7, -3, 12, 0, 0, 1}};
    const auto bytes = sflist::FormatSoundFontList("", items, 2);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, "\xEF\xBB\xBF[SoundFonts]\r\nsf1=C:\\a.sf2\r\nsf1.enabled=1\r\nsf2=C:\\b.sf2\r\n"
                      "sf3=C:\\c.sf2\r\nsf3.enabled=3\r\nsf3.bank=-3\r\nsf3.preset=12\r\nsf3.preload=0\r\n"
                      "sf3.volume=0\r\nsf3.xgdrums=1\r\n");
}

TEST(SoundFontListFormat, EveryOptionValueReadIsWrittenBack)
{
    // A preload value other than 0 or 1 was once dropped on writing (read back as 1).
    const std::string bytes = "[SoundFonts]\r\nsf1=C:\\a.sf2\r\nsf1.enabled=4294967295\r\nsf1.preload=5\r\n"
                              "sf1.xgdrums=-2\r\nsf1.bank=4294967295\r\n";
    const auto read = sflist::ParseSoundFontList(bytes, 32, kFolder);
    ASSERT_TRUE(read.Ok());
    const auto written = sflist::FormatSoundFontList("", read.items, 32);
    ASSERT_TRUE(written);
    const auto back = sflist::ParseSoundFontList(*written, 32, kFolder);
    ASSERT_TRUE(back.Ok());
    EXPECT_EQ(back.items, read.items);
    EXPECT_EQ(back.items.at(0).preload, 5u);
}

TEST(SoundFontListFormat, RoundTripsPathsInAnyScriptAndKeepsOtherSections)
{
    std::vector<Item> items = {Item{L"C:\\\u97F3\u8272\\\u041F\u0435\u0441\u043D\u044F \U0001F3B5.sf2", 1, 0, 3, 80, 1, 0},
                               Make(L"\\\\server\\share\\\u00E9t\u00E9;[x]=y.sf2", 2)};
    const std::string existing = "\xEF\xBB\xBF[Before]\r\nkeep=1\r\n[SoundFonts]\r\nsf1=C:\\old.sf2\r\nsf9=x\r\n"
                                 "[After]\r\nalso=2\r\n";
    const auto bytes = sflist::FormatSoundFontList(existing, items, 2);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->rfind("\xEF\xBB\xBF[Before]\r\nkeep=1\r\n[SoundFonts]\r\n", 0), 0u);
    EXPECT_NE(bytes->find("[After]\r\nalso=2\r\n"), std::string::npos);
    EXPECT_EQ(bytes->find("old.sf2"), std::string::npos);
    const auto back = sflist::ParseSoundFontList(*bytes, 2, kFolder);
    ASSERT_TRUE(back.Ok());
    EXPECT_EQ(back.items, items);

    // An existing file in UTF-16 keeps its other sections too, now in UTF-8.
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"[Mine]\r\nk=\u00E9\r\n")) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    const auto converted = sflist::FormatSoundFontList(utf16, {}, 1);
    ASSERT_TRUE(converted);
    EXPECT_EQ(*converted, "\xEF\xBB\xBF[Mine]\r\nk=\xC3\xA9\r\n[SoundFonts]\r\n");
}

TEST(SoundFontListFormat, RefusesPathsThatWouldNotReadBack)
{
    for (const std::wstring& path : {std::wstring(), std::wstring(L"*C:\\a.sf2"), std::wstring(L" C:\\a.sf2"),
                                     std::wstring(L"C:\\a.sf2 "), std::wstring(L"\"C:\\a.sf2\""),
                                     std::wstring(L"C:\\a\r\nsf2=b.sf2"), std::wstring(L"C:\\") + std::wstring(300, L'x'),
                                     std::wstring(L"C:\\") + wchar_t(0xD800) + L".sf2"}) {
        EXPECT_FALSE(sflist::IsWritablePath(path));
        EXPECT_FALSE(sflist::FormatSoundFontList("", {Make(path, 1)}, 1).has_value());
    }
}

}  // namespace
