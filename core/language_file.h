// Reading language files: UTF-8 text, "[section]" headers (letter case aside),
// "key = value" lines, ";" comments, "\n" in values for a line break.
#pragma once

#include <map>
#include <string>

using LanguageTexts = std::map<std::wstring, std::wstring>;

// Adds the keys of the first section named `section` in `path` to `texts`,
// replacing keys already there. A file that cannot be opened adds nothing.
void ReadLanguageSection(const std::wstring& path, const std::wstring& section, LanguageTexts& texts);
