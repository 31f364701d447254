// The language-file format on bytes in memory: what the fuzz target reaches
// without a file, checked where decoding can go wrong.
#include "core/language_parse.h"

#include <gtest/gtest.h>

TEST(LanguageParse, Utf8DecodesToUtf16AndBadBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(WideFromUtf8("Gr\xC3\xBC\xC3\x9F" "e"), L"Gr\u00FC\u00DFe");
    EXPECT_EQ(WideFromUtf8("\xF0\x9F\x8E\xB9"), std::wstring(L"\xD83C\xDFB9"));  // a surrogate pair
    EXPECT_EQ(WideFromUtf8("a\xC3"), L"a\uFFFD");              // cut short
    EXPECT_EQ(WideFromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");      // overlong
    EXPECT_EQ(WideFromUtf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
    EXPECT_EQ(WideFromUtf8("\xFF" "b"), L"\uFFFDb");
}

TEST(LanguageParse, OnlyTheFirstSectionOfThatNameCountsAndEmptyValuesAreSkipped)
{
    LanguageTexts texts{{L"kept", L"English"}};
    ParseLanguageSection("\xEF\xBB\xBF; comment\r\n[Other]\nx=1\n[COMMON]\r\n a.b = one\\ntwo \r\nkept=\n=nokey\nnoequals\n"
                         "[common]\nlater=2\n",
                         L"common", texts);
    EXPECT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[L"a.b"], L"one\ntwo");
    EXPECT_EQ(texts[L"kept"], L"English");
}
