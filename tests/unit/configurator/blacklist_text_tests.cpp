// The blacklist's stored and edited forms, and that the stored form is exactly
// what the driver library matches against a client's file name.
#include <gtest/gtest.h>

#include "configurator/blacklist_text.h"
#include "driver/blacklist.h"

namespace {

using namespace blacklist_text;

TEST(BlacklistText, NormalisesCaseBlanksExtensionsAndDuplicates)
{
    EXPECT_EQ(ToStored(L"Notepad\r\n  notepad.EXE  \r\nnotepad.exe"), L"notepad.exe");
    EXPECT_EQ(ToStored(L"a.b\r\nexe"), L"a.b.exe;exe.exe");
    EXPECT_EQ(ToStored(L""), L"");
    EXPECT_EQ(ToStored(L"\r\n   \r\n"), L"");
    EXPECT_EQ(Normalise(L"zeta\r\nAlpha.exe\r\nmid"), L"alpha.exe\r\nmid.exe\r\nzeta.exe");
}

TEST(BlacklistText, PathsBecomeTheFileNamesTheDriverCompares)
{
    const std::wstring stored = ToStored(L"C:\\Program Files\\Game\\Game.EXE\r\nD:/tools/player\r\nC:\\folder\\");
    EXPECT_EQ(stored, L"game.exe;player.exe");
    EXPECT_TRUE(blacklist::IsListed(stored, L"C:\\Other\\game.exe"));
    EXPECT_TRUE(blacklist::IsListed(stored, L"Z:\\x\\PLAYER.exe"));
    EXPECT_FALSE(blacklist::IsListed(stored, L"C:\\Program Files\\Game\\other.exe"));
}

TEST(BlacklistText, SemicolonsAreFoundSoTheyCanBeRefused)
{
    EXPECT_EQ(LineWithSemicolon(L"good.exe\r\n  bad;name.exe \r\n"), L"bad;name.exe");
    EXPECT_FALSE(LineWithSemicolon(L"good.exe\r\nalso.exe").has_value());
}

TEST(BlacklistText, StoredListOpensOneNamePerLine)
{
    EXPECT_EQ(ToEdited(L"b.exe;A.exe;;a.exe"), L"a.exe\r\nb.exe\r\n");
    EXPECT_EQ(ToEdited(L""), L"");
}

}  // namespace
