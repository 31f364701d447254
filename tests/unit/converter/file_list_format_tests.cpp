// List files: the written form (UTF-8 with a mark) round-trips any name; the
// older one-byte form and the parsing rules of the lines still read as before.
#include <gtest/gtest.h>

#include "converter/file_list_format.h"

namespace {

std::vector<FileListEntry> Parse(const std::string& bytes)
{
    auto entries = ParseFileList(bytes);
    EXPECT_TRUE(entries.has_value());
    return entries.value_or(std::vector<FileListEntry>{});
}

TEST(FileListFormat, RoundTripKeepsEveryName)
{
    const std::vector<FileListEntry> entries = {
        {L"C:\\Musik\\Größe – 曲 ♪.mid", 5},
        {L"C:\\\U0001F3B9\\emoji.mid", -12},
        {std::wstring(L"C:\\odd\\") + wchar_t(0xD800) + L"lone.mid", 0},  // a name NTFS allows, not valid Unicode
        {L"D:\\plain.mid", 12},
    };
    const std::string bytes = FormatFileList(entries);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(bytes.find("D:\\plain.mid|+12\r\n"), std::string::npos);
    const auto back = Parse(bytes);
    ASSERT_EQ(back.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(back[i].path, entries[i].path);
        EXPECT_EQ(back[i].keyShift, entries[i].keyShift);
    }
}

TEST(FileListFormat, OldOneByteFormStillReads)
{
    // "é" as the single byte 0xE9, as the old lists stored it.
    const auto entries = Parse("C:\\caf\xE9.mid|+3\r\nC:\\b.mid|0\r\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, L"C:\\caf\u00e9.mid");
    EXPECT_EQ(entries[0].keyShift, 3);
    // UTF-8 written by another program without a mark is read as UTF-8.
    EXPECT_EQ(Parse("C:\\caf\xC3\xA9.mid\n")[0].path, L"C:\\caf\u00e9.mid");
    // UTF-16 with its mark, as a text editor saves "Unicode".
    EXPECT_EQ(Parse(std::string("\xFF\xFE" "A\0|\0" "7\0", 8))[0].keyShift, 7);
}

TEST(FileListFormat, LineRules)
{
    const auto entries = Parse(
        "C:\\only path.mid\r\n"
        "\"C:\\quoted.mid\"|-2\r\n"
        "C:\\plus.mid|+7\n"
        "C:\\word.mid|seven\r"
        "C:\\low.mid|-40|extra|fields\r\n"
        "\r\n"
        "|5\r\n"
        "C:\\trailing.mid|\r\n"
        "C:\\spaces.mid|  4x");
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0].path, L"C:\\only path.mid");
    EXPECT_EQ(entries[0].keyShift, 0);
    EXPECT_EQ(entries[1].path, L"C:\\quoted.mid");
    EXPECT_EQ(entries[1].keyShift, -2);
    EXPECT_EQ(entries[2].keyShift, 7);
    EXPECT_EQ(entries[3].keyShift, 0);
    EXPECT_EQ(entries[4].keyShift, -12);
    EXPECT_EQ(entries[5].path, L"C:\\trailing.mid");
    EXPECT_EQ(entries[6].keyShift, 4);
}

TEST(FileListFormat, BytesThatAreNotAListAreRefused)
{
    EXPECT_FALSE(ParseFileList("\xEF\xBB\xBF" "C:\\a.mid|0\r\n\xFF\xFE").has_value());  // mark, then not UTF-8
    EXPECT_FALSE(ParseFileList(std::string("C:\\a.mid\0b", 10)).has_value());           // binary
    EXPECT_FALSE(ParseFileList(std::string("\xFF\xFE" "A", 3)).has_value());             // odd UTF-16
    EXPECT_TRUE(ParseFileList("").has_value());
    EXPECT_TRUE(ParseFileList("")->empty());
}

TEST(FileListFormat, KeyShiftParsing)
{
    EXPECT_EQ(ParseKeyShift(L"+7"), 7);
    EXPECT_EQ(ParseKeyShift(L"-40"), -12);
    EXPECT_EQ(ParseKeyShift(L"99999999999999999999"), 12);
    EXPECT_EQ(ParseKeyShift(L"letters"), 0);
    EXPECT_EQ(ParseKeyShift(L""), 0);
    EXPECT_EQ(ParseKeyShift(L"-"), 0);
}

}  // namespace
