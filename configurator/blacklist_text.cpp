#include "configurator/blacklist_text.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "core/text.h"

namespace blacklist_text {

namespace {

std::vector<std::wstring_view> Lines(std::wstring_view text)
{
    std::vector<std::wstring_view> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == L'\r' || text[i] == L'\n') {
            lines.push_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i] == L'\r' && text[i + 1] == L'\n')
                ++i;
            start = i + 1;
        }
    }
    return lines;
}

std::wstring Join(const std::vector<std::wstring>& names, std::wstring_view separator)
{
    std::wstring out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i)
            out += separator;
        out += names[i];
    }
    return out;
}

std::vector<std::wstring> Names(std::wstring_view text)
{
    std::vector<std::wstring> names;
    for (std::wstring_view line : Lines(text)) {
        line = TrimView(line);
        const size_t slash = line.find_last_of(L"\\/");
        if (slash != std::wstring_view::npos)
            line = TrimView(line.substr(slash + 1));
        if (line.empty())
            continue;
        std::wstring name(line);
        for (wchar_t& c : name)
            c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        if (name.size() < 4 || name.compare(name.size() - 4, 4, L".exe") != 0)
            name += L".exe";
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace

std::wstring Normalise(std::wstring_view text) { return Join(Names(text), L"\r\n"); }

std::wstring ToStored(std::wstring_view editedText) { return Join(Names(editedText), L";"); }

std::wstring ToEdited(std::wstring_view stored)
{
    std::wstring lines(stored);
    std::replace(lines.begin(), lines.end(), L';', L'\n');
    std::wstring text = Normalise(lines);
    if (!text.empty())
        text += L"\r\n";
    return text;
}

std::optional<std::wstring> LineWithSemicolon(std::wstring_view editedText)
{
    for (std::wstring_view line : Lines(editedText))
        if (line.find(L';') != std::wstring_view::npos)
            return std::wstring(TrimView(line));
    return std::nullopt;
}

}  // namespace blacklist_text
