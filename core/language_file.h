// Reading language files (the format: core/language_parse.h).
#pragma once

#include "core/language_parse.h"

#include <string>

// Adds the keys of the first section named `section` in `path` to `texts`,
// replacing keys already there. A file that cannot be opened adds nothing.
void ReadLanguageSection(const std::wstring& path, const std::wstring& section, LanguageTexts& texts);
