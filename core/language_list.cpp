#include "core/language.h"

#include <cwchar>

#include "core/language_file.h"

namespace {

class CFindHandle {
public:
    explicit CFindHandle(HANDLE h) : m_h(h) {}
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    ~CFindHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            FindClose(m_h);
    }
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// The language identifier a file name stands for, 0 when it names none.
DWORD LanguageIdOfFileName(const std::wstring& name)
{
    size_t dot = name.find(L'.');
    if (dot == std::wstring::npos)
        return 0;
    std::wstring number = name.substr(0, dot);
    return static_cast<DWORD>(wcstoul(number.c_str(), nullptr, 10));
}

}  // namespace

std::map<DWORD, std::wstring> EnumLanguages(const std::wstring& languageFolder)
{
    std::map<DWORD, std::wstring> languages;
    WIN32_FIND_DATAW found{};
    CFindHandle find(FindFirstFileW((languageFolder + L"\\*.lang").c_str(), &found));
    if (!find.Valid())
        return languages;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::wstring name = found.cFileName;
        LanguageTexts info;
        ReadLanguageSection(languageFolder + L"\\" + name, L"info", info);
        auto display = info.find(L"language");
        if (display == info.end() || display->second.empty())
            continue;
        DWORD id = LanguageIdOfFileName(name);
        if (id == 0)
            continue;
        languages[id] = display->second;
    } while (FindNextFileW(find.Get(), &found));
    return languages;
}
