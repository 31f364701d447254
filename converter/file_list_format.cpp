#include "converter/file_list_format.h"

#include <cstdint>
#include <cwctype>

#include "converter/converter_file.h"
#include "core/text.h"

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// UTF-16 of either byte order into wchar_t text (pairs joined where wchar_t is 32 bits).
bool FromUtf16(std::string_view bytes, bool bigEndian, std::wstring& text)
{
    if (bytes.size() % 2)
        return false;
    std::wstring out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const auto b0 = static_cast<uint8_t>(bytes[i]), b1 = static_cast<uint8_t>(bytes[i + 1]);
        uint32_t unit = bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
        if constexpr (sizeof(wchar_t) > 2) {
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
                const auto c0 = static_cast<uint8_t>(bytes[i + 2]), c1 = static_cast<uint8_t>(bytes[i + 3]);
                const uint32_t low = bigEndian ? (c0 << 8 | c1) : (c1 << 8 | c0);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    text = std::move(out);
    return true;
}

bool HasNonAscii(std::string_view bytes)
{
    for (char c : bytes)
        if (static_cast<uint8_t>(c) >= 0x80)
            return true;
    return false;
}

bool DecodeListText(std::string_view bytes, std::wstring& text)
{
    if (bytes.substr(0, 3) == kUtf8Mark)
        return FromUtf8Strict(bytes.substr(3), text);
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE)
        return FromUtf16(bytes.substr(2), false, text);
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF)
        return FromUtf16(bytes.substr(2), true, text);
    // Without a mark: UTF-8 that some other program wrote, or the old form.
    // Text in the old form with a character above 127 is almost never valid UTF-8.
    if (HasNonAscii(bytes) && FromUtf8Strict(bytes, text))
        return true;
    text.clear();
    text.reserve(bytes.size());
    for (char c : bytes)
        text.push_back(static_cast<wchar_t>(static_cast<uint8_t>(c)));
    return true;
}

}  // namespace

int ParseKeyShift(std::wstring_view text)
{
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        if (value < 1000)  // far past the limit already; stop growing
            value = value * 10 + (text[i] - L'0');
    }
    return ClampKeyShift(negative ? -value : value);
}

std::optional<std::vector<FileListEntry>> ParseFileList(std::string_view bytes)
{
    if (bytes.size() > kMaxFileListBytes)
        return std::nullopt;
    std::wstring text;
    if (!DecodeListText(bytes, text) || text.find(L'\0') != std::wstring::npos)
        return std::nullopt;

    std::vector<FileListEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring_view line(text.data() + start, end - start);
        start = end + 1;
        if (end < text.size() && text[end] == L'\r' && start < text.size() && text[start] == L'\n')
            ++start;

        const size_t bar = line.find(L'|');
        std::wstring path;
        for (wchar_t c : line.substr(0, bar))
            if (c != L'"')
                path.push_back(c);
        if (path.empty())
            continue;
        FileListEntry entry{std::move(path), 0};
        if (bar != std::wstring_view::npos) {
            std::wstring_view key = line.substr(bar + 1);
            key = key.substr(0, key.find(L'|'));
            entry.keyShift = ParseKeyShift(key);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string FormatFileList(const std::vector<FileListEntry>& entries)
{
    std::string bytes(kUtf8Mark);
    for (const FileListEntry& e : entries) {
        bytes += ToUtf8(e.path);
        bytes += '|';
        bytes += ToUtf8(KeyTextOf(ClampKeyShift(e.keyShift)));
        bytes += "\r\n";
    }
    return bytes;
}
