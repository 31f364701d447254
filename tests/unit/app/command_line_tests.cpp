#include <gtest/gtest.h>

#include "core/command_line.h"

namespace {

ArgumentList T(const wchar_t* text) { return TokenizeCommandLine(text); }

TEST(CommandLine, PlainTokensSplitAtSpaces)
{
    EXPECT_EQ(T(L"Tessaline.exe --converter"), (ArgumentList{L"Tessaline.exe", L"--converter"}));
    EXPECT_TRUE(T(L"").empty());
}

TEST(CommandLine, QuotedArgumentWithSpacesIsOneTokenWithoutQuotes)
{
    EXPECT_EQ(T(L"\"C:\\Program Files\\Tessaline\\Tessaline.exe\" --configurator"),
              (ArgumentList{L"C:\\Program Files\\Tessaline\\Tessaline.exe", L"--configurator"}));
}

TEST(CommandLine, EmptyQuotesGiveTwoDoubleQuoteCharacters)
{
    EXPECT_EQ(T(L"a \"\" b"), (ArgumentList{L"a", L"\"\"", L"b"}));
    // At the very end the last character is taken as the closing quote.
    EXPECT_EQ(T(L"a \"\""), (ArgumentList{L"a", L"\"\""}));
}

TEST(CommandLine, DoubleSpacesYieldEmptyTokensThatMatchNoSwitch)
{
    ArgumentList args = T(L"x  --install");
    EXPECT_EQ(args, (ArgumentList{L"x", L"", L"--install"}));
    EXPECT_TRUE(HasSwitch(args, L"--install"));
    EXPECT_FALSE(HasSwitch(args, L""  L"--uninstall"));
}

TEST(CommandLine, QuotedTokenWithoutClosingQuoteDropsTheLastCharacter)
{
    // No quote-space follows: the token ends at the last character, which is dropped.
    EXPECT_EQ(T(L"\"abc"), (ArgumentList{L"ab"}));
    EXPECT_EQ(T(L"x \"a b\""), (ArgumentList{L"x", L"a b"}));
    // A lone quote at the end is an empty token.
    EXPECT_EQ(T(L"x \""), (ArgumentList{L"x", L"\"\""}));
}

TEST(CommandLine, OpeningQuoteFollowedBySpaceEndsAtItself)
{
    // The quote-space search starts at the opening quote itself.
    EXPECT_EQ(T(L"\" x"), (ArgumentList{L"\"\"", L"x"}));
}

TEST(CommandLine, SwitchesMatchWholeArgumentsCaseSensitively)
{
    ArgumentList args = T(L"prog --Configurator ---converter --converterx");
    EXPECT_FALSE(HasSwitch(args, kSwitchConfigurator));
    EXPECT_FALSE(HasSwitch(args, kSwitchConverter));
}

} // namespace
