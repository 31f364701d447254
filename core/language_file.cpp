#include "core/language_file.h"

#include <windows.h>

#include <cwctype>
#include <string_view>

namespace {

class CFileHandle {
public:
    explicit CFileHandle(HANDLE h) : m_h(h) {}
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    ~CFileHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return false;
    LARGE_INTEGER size{};
    // Language files are small; anything huge is not one.
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return false;
    bytes.resize(read);
    return true;
}

std::wstring FromUtf8(std::string_view line)
{
    if (line.empty())
        return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), text.data(), length);
    return text;
}

std::wstring Trim(std::wstring_view text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && iswspace(text[begin]))
        ++begin;
    while (end > begin && iswspace(text[end - 1]))
        --end;
    return std::wstring(text.substr(begin, end - begin));
}

std::wstring UnescapeLineBreaks(std::wstring value)
{
    for (size_t pos = 0; (pos = value.find(L"\\n", pos)) != std::wstring::npos; ++pos)
        value.replace(pos, 2, 1, L'\n');
    return value;
}

bool IsSectionHeader(const std::wstring& line)
{
    return line.size() >= 2 && line.front() == L'[' && line.back() == L']';
}

}  // namespace

void ReadLanguageSection(const std::wstring& path, const std::wstring& section, LanguageTexts& texts)
{
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        return;
    std::string_view rest(bytes);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);

    bool inSection = false;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view raw = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);

        std::wstring line = Trim(FromUtf8(raw));
        if (line.empty() || line.front() == L';')
            continue;
        if (IsSectionHeader(line)) {
            if (inSection)
                return;  // only the first section of that name counts
            std::wstring name = line.substr(1, line.size() - 2);
            inSection = _wcsicmp(name.c_str(), section.c_str()) == 0;
            continue;
        }
        if (!inSection)
            continue;
        size_t equals = line.find(L'=');
        if (equals == std::wstring::npos)
            continue;
        std::wstring key = Trim(std::wstring_view(line).substr(0, equals));
        std::wstring value = Trim(std::wstring_view(line).substr(equals + 1));
        // An empty value leaves the text read earlier (the English one) in place.
        if (key.empty() || value.empty())
            continue;
        texts[key] = UnescapeLineBreaks(std::move(value));
    }
}
