// The language-file format, without any file or system call, so that it can
// be tested and fuzzed on any platform: UTF-8 text (an optional byte-order
// mark, invalid sequences read as U+FFFD), "[section]" headers (letter case
// aside), "key = value" lines, ";" comments, "\n" in values for a line break.
#pragma once

#include <map>
#include <string>
#include <string_view>

using LanguageTexts = std::map<std::wstring, std::wstring>;

// Adds the keys of the first section named `section` in `bytes` to `texts`,
// replacing keys already there. Lines with an empty key or value add nothing.
void ParseLanguageSection(std::string_view bytes, const std::wstring& section, LanguageTexts& texts);

// UTF-8 to the platform's wide text (UTF-16 on Windows).
std::wstring WideFromUtf8(std::string_view bytes);
