#include "core/language_file.h"

#include <windows.h>


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

}  // namespace

void ReadLanguageSection(const std::wstring& path, const std::wstring& section, LanguageTexts& texts)
{
    std::string bytes;
    if (ReadWholeFile(path, bytes))
        ParseLanguageSection(bytes, section, texts);
}
