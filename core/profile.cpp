#include "core/profile.h"

#include "core/file_bytes.h"

#include <string>
#include <vector>

namespace {

void CreateUnicodeProfileIfMissing(const std::wstring& file)
{
    if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        return;
    // CREATE_NEW: should someone create the file in between, theirs is kept.
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    static const BYTE bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(h, bom, sizeof bom, &written, nullptr);
    CloseHandle(h);
}

bool FitsTheAnsiCodePage(const wchar_t* text)
{
    BOOL lost = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lost);
    return length > 0 && !lost;
}

// An 8-bit profile file cannot hold a text outside the ANSI code page: the
// system would store question marks. Such a file is rewritten once as UTF-16
// (which the system's profile calls read and keep), through a temporary file,
// so the old file stays whole should anything fail.
void ConvertProfileToUnicode(const std::wstring& file)
{
    std::string bytes;
    if (ReadFileBytes(file, bytes) != ERROR_SUCCESS)
        return;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        return;
    UINT codePage = CP_ACP;
    size_t skip = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        codePage = CP_UTF8;
        skip = 3;
    }
    std::wstring text;
    if (bytes.size() > skip) {
        int length = MultiByteToWideChar(codePage, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip),
                                         nullptr, 0);
        if (length <= 0)
            return;
        text.resize(static_cast<size_t>(length));
        MultiByteToWideChar(codePage, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), text.data(),
                            length);
    }
    std::string encoded("\xFF\xFE", 2);
    encoded.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    WriteFileReplacing(file, encoded);
}

}  // namespace

std::wstring ProfileKey(const wchar_t* key, const std::wstring& suffix)
{
    std::wstring name = key;
    name += suffix;
    return name;
}

std::wstring ProfileReadText(const std::wstring& file, const wchar_t* section, const std::wstring& key,
                             const wchar_t* def, DWORD bufferChars)
{
    if (bufferChars == 0)
        return {};
    // An empty path would make the system look for a file of that name in the Windows folder.
    if (file.empty())
        return std::wstring(def ? def : L"").substr(0, bufferChars - 1);
    std::vector<wchar_t> buffer(bufferChars, L'\0');
    DWORD length = GetPrivateProfileStringW(section, key.c_str(), def ? def : L"", buffer.data(), bufferChars,
                                            file.c_str());
    return std::wstring(buffer.data(), length < bufferChars ? length : bufferChars - 1);
}

std::wstring ProfileReadFullText(const std::wstring& file, const wchar_t* section, const std::wstring& key,
                                 const wchar_t* def)
{
    DWORD size = 100;
    for (;;) {
        std::wstring text = ProfileReadText(file, section, key, def, size);
        // A text that fills the buffer may have been cut: read again with more room.
        if (text.size() < size - 1 || size >= 0x4000000)
            return text;
        size *= 2;
    }
}

UINT ProfileReadInt(const std::wstring& file, const wchar_t* section, const std::wstring& key, INT def)
{
    if (file.empty())
        return static_cast<UINT>(def);
    return GetPrivateProfileIntW(section, key.c_str(), def, file.c_str());
}

void ProfileWriteText(const std::wstring& file, const wchar_t* section, const std::wstring& key, const wchar_t* value)
{
    if (file.empty())
        return;
    if (value) {
        CreateUnicodeProfileIfMissing(file);
        if (!FitsTheAnsiCodePage(value))
            ConvertProfileToUnicode(file);
    }
    WritePrivateProfileStringW(section, key.c_str(), value, file.c_str());
}

void ProfileRemoveSection(const std::wstring& file, const wchar_t* section)
{
    if (file.empty())
        return;
    WritePrivateProfileStringW(section, nullptr, nullptr, file.c_str());
}
