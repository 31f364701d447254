// The driver's reading of the "ClientBlacklist" setting.
#include "driver/blacklist.h"

#include <gtest/gtest.h>

TEST(ClientBlacklist, MatchesTheProgramFileNameWithoutRegardToCaseOrBlanks)
{
    const std::wstring list = L"cakewalk.exe;notepad.exe; vlc.exe ";
    EXPECT_TRUE(blacklist::IsListed(list, L"C:\\Windows\\NOTEPAD.EXE"));
    EXPECT_TRUE(blacklist::IsListed(list, L"D:/tools/Vlc.exe"));
    EXPECT_TRUE(blacklist::IsListed(list, L"cakewalk.exe"));
    EXPECT_FALSE(blacklist::IsListed(list, L"C:\\notepad.exe\\other.exe"));
    EXPECT_FALSE(blacklist::IsListed(list, L"C:\\Windows\\notepad2.exe"));
    EXPECT_FALSE(blacklist::IsListed(L"", L"C:\\notepad.exe"));
    EXPECT_FALSE(blacklist::IsListed(L";;", L"C:\\notepad.exe"));
    EXPECT_FALSE(blacklist::IsListed(list, L"C:\\folder\\"));
}
