#include "core/language_parse.h"

#include "core/text.h"

#include <cstdint>
#include <cwctype>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One code point from the front of `bytes` (consumed); malformed, overlong or
// surrogate sequences give U+FFFD for their first byte.
char32_t NextCodePoint(std::string_view& bytes)
{
    const auto lead = static_cast<uint8_t>(bytes.front());
    size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 1) {
        bytes.remove_prefix(1);
        return lead;
    }
    if (length == 0 || bytes.size() < length) {
        bytes.remove_prefix(1);
        return kReplacement;
    }
    char32_t point = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<uint8_t>(bytes[i]);
        if ((next & 0xC0) != 0x80) {
            bytes.remove_prefix(1);
            return kReplacement;
        }
        point = point << 6 | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        bytes.remove_prefix(1);
        return kReplacement;
    }
    bytes.remove_prefix(length);
    return point;
}

void AppendWide(std::wstring& text, char32_t point)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (point >= 0x10000) {
            point -= 0x10000;
            text.push_back(static_cast<wchar_t>(0xD800 + (point >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + (point & 0x3FF)));
            return;
        }
    }
    text.push_back(static_cast<wchar_t>(point));
}

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    }
    return true;
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

std::wstring WideFromUtf8(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    while (!bytes.empty())
        AppendWide(text, NextCodePoint(bytes));
    return text;
}

void ParseLanguageSection(std::string_view rest, const std::wstring& section, LanguageTexts& texts)
{
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);

    bool inSection = false;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view raw = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);

        std::wstring line = Trim(WideFromUtf8(raw));
        if (line.empty() || line.front() == L';')
            continue;
        if (IsSectionHeader(line)) {
            if (inSection)
                return;  // only the first section of that name counts
            inSection = SameIgnoringCase(std::wstring_view(line).substr(1, line.size() - 2), section);
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
