#include "core/text.h"

#include <cstdint>
#include <cwctype>

std::wstring_view TrimView(std::wstring_view text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(static_cast<wint_t>(text[begin])))
        ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::wstring Trim(std::wstring_view text) { return std::wstring(TrimView(text)); }

std::wstring ReplaceAll(std::wstring text, std::wstring_view what, std::wstring_view with)
{
    if (what.empty())
        return text;
    for (size_t pos = 0; (pos = text.find(what, pos)) != std::wstring::npos; pos += with.size())
        text.replace(pos, what.size(), with);
    return text;
}

namespace {

void PutCodePoint(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void PutWide(std::wstring& out, uint32_t c)
{
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(c));
}

[[maybe_unused]] bool IsHigh(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
[[maybe_unused]] bool IsLow(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string ToUtf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (IsHigh(c) && i + 1 < text.size() && IsLow(static_cast<uint32_t>(text[i + 1]))) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
                ++i;
            }
        }
        if (c > 0x10FFFF)
            c = 0xFFFD;
        PutCodePoint(out, c);
    }
    return out;
}

bool FromUtf8Strict(std::string_view bytes, std::wstring& text)
{
    std::wstring out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const uint32_t b = static_cast<uint8_t>(bytes[i]);
        uint32_t c;
        size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (bytes.size() - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const uint32_t t = static_cast<uint8_t>(bytes[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (t & 0x3F);
        }
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)))
            return false;
        // A high surrogate written alone followed by a low one written alone
        // would decode to a pair: that is the same text, so it is accepted.
        PutWide(out, c);
        i += extra + 1;
    }
    text = std::move(out);
    return true;
}
