// Whether a program is barred from the ports by the "ClientBlacklist" setting:
// file names such as "notepad.exe" joined by ";", compared with the program's
// own file name without regard to case or surrounding blanks.
#pragma once

#include <cwctype>
#include <string>
#include <string_view>

namespace blacklist {

inline std::wstring Folded(std::wstring_view text)
{
    const auto blank = [](wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    std::wstring folded(text);
    for (wchar_t& c : folded)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return folded;
}

// `executable` may be a full path; only its file name counts.
inline bool IsListed(std::wstring_view list, std::wstring_view executable)
{
    const size_t slash = executable.find_last_of(L"\\/");
    const std::wstring name = Folded(slash == std::wstring_view::npos ? executable : executable.substr(slash + 1));
    if (name.empty())
        return false;
    while (!list.empty()) {
        const size_t end = list.find(L';');
        if (Folded(list.substr(0, end)) == name)
            return true;
        if (end == std::wstring_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace blacklist
