#include "core/language_file.h"

#include "core/file_bytes.h"

void ReadLanguageSection(const std::wstring& path, const std::wstring& section, LanguageTexts& texts)
{
    // Language files are small; anything huge is not one.
    std::string bytes;
    if (ReadFileBytes(path, bytes, 64 * 1024 * 1024) == ERROR_SUCCESS)
        ParseLanguageSection(bytes, section, texts);
}
