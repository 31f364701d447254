#include "configurator/soundfont_list_format.h"

#include <charconv>
#include <map>

namespace sflist {

namespace {

constexpr wchar_t kSection[] = L"SoundFonts";
constexpr bool kUtf16 = sizeof(wchar_t) == 2;

bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendCodePoint(std::wstring& out, uint32_t c)
{
    if (kUtf16 && c > 0xFFFF) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(c));
    }
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
std::optional<std::wstring> DecodeUtf8(std::string_view bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<wchar_t>(b0));
            ++i;
            continue;
        }
        int extra = 0;
        uint32_t c = 0, least = 0;
        if ((b0 & 0xE0) == 0xC0) {
            extra = 1, c = b0 & 0x1F, least = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, c = b0 & 0x0F, least = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, c = b0 & 0x07, least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + static_cast<size_t>(extra) >= bytes.size())
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
            if ((b & 0xC0) != 0x80)
                return std::nullopt;
            c = c << 6 | (b & 0x3F);
        }
        if (c < least || c > 0x10FFFF || IsSurrogate(c))
            return std::nullopt;
        AppendCodePoint(out, c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::optional<std::wstring> DecodeUtf16(std::string_view bytes, bool bigEndian)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    std::wstring out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](size_t at) {
        const auto a = static_cast<unsigned char>(bytes[at]), b = static_cast<unsigned char>(bytes[at + 1]);
        return bigEndian ? uint32_t(a) << 8 | b : uint32_t(b) << 8 | a;
    };
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 3 >= bytes.size())
                return std::nullopt;
            const uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (IsSurrogate(c)) {
            return std::nullopt;
        }
        AppendCodePoint(out, c);
    }
    return out;
}

// The code points of `text`; nothing when a surrogate is unpaired.
template <class F>
bool ForEachCodePoint(std::wstring_view text, F&& f)
{
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (kUtf16 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (IsSurrogate(c) || c > 0x10FFFF)
            return false;
        f(c);
    }
    return true;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Only spaces and tabs: other white space can be part of a file name, and a
// list must give back exactly the names written into it.
std::wstring_view TrimBlanks(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

std::wstring Folded(std::wstring_view text)
{
    std::wstring out(text);
    for (wchar_t& c : out)
        c = FoldAscii(c);
    return out;
}

std::vector<std::wstring_view> SplitLines(std::wstring_view text)
{
    std::vector<std::wstring_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' || text[i] == L'\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// "[name]" lines open a section; the name is what lies between the brackets.
std::optional<std::wstring_view> SectionName(std::wstring_view trimmed)
{
    if (trimmed.empty() || trimmed.front() != L'[')
        return std::nullopt;
    trimmed.remove_prefix(1);
    const size_t close = trimmed.find(L']');
    return TrimBlanks(close == std::wstring_view::npos ? trimmed : trimmed.substr(0, close));
}

bool IsComment(std::wstring_view trimmed) { return trimmed.empty() || trimmed.front() == L';' || trimmed.front() == L'#'; }

// A value enclosed in a pair of matching quotes reads without them.
std::wstring_view Unquoted(std::wstring_view value)
{
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

struct Value {
    std::wstring text;
    size_t line;
};

// Decimal, with an optional sign; anything from -2^31 to 2^32-1 (a port mask
// may use every bit).
std::optional<int64_t> ParseNumber(std::wstring_view text)
{
    text = TrimBlanks(text);
    std::string ascii;
    for (wchar_t c : text) {
        if (c > 0x7F)
            return std::nullopt;
        ascii.push_back(static_cast<char>(c));
    }
    const char* begin = ascii.data();
    const char* end = begin + ascii.size();
    if (begin != end && *begin == '+')
        ++begin;
    int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || begin == end)
        return std::nullopt;
    if (value < INT32_MIN || value > int64_t(UINT32_MAX))
        return std::nullopt;
    return value;
}

uint32_t PortMaskOf(uint32_t portCount) { return portCount >= 32 ? 0xFFFFFFFFu : (1u << portCount) - 1; }

bool IsRooted(std::wstring_view p) { return !p.empty() && p.front() == L'\\'; }
bool HasDrive(std::wstring_view p)
{
    return p.size() >= 2 && p[1] == L':' && ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z'));
}

// The part of an absolute path that ".." never climbs above: "C:\" or "\\server\share\".
size_t RootLength(std::wstring_view p)
{
    if (HasDrive(p))
        return p.size() >= 3 && p[2] == L'\\' ? 3 : 2;
    if (p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\') {
        size_t server = p.find(L'\\', 2);
        if (server == std::wstring_view::npos)
            return p.size();
        size_t share = p.find(L'\\', server + 1);
        return share == std::wstring_view::npos ? p.size() : share + 1;
    }
    return IsRooted(p) ? 1 : 0;
}

std::wstring FoldDots(const std::wstring& path)
{
    const size_t root = RootLength(path);
    std::vector<std::wstring_view> parts;
    std::wstring_view rest = std::wstring_view(path).substr(root);
    while (!rest.empty()) {
        const size_t slash = rest.find(L'\\');
        const std::wstring_view part = rest.substr(0, slash);
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        if (slash == std::wstring_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    std::wstring out = path.substr(0, root);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += L'\\';
        out += parts[i];
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::wstring DecodeWindows1252(std::string_view bytes)
{
    // 0x80-0x9F differ from Latin-1; the five undefined ones keep their value.
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::wstring out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out.push_back(b >= 0x80 && b < 0xA0 ? static_cast<wchar_t>(high[b - 0x80]) : static_cast<wchar_t>(b));
    }
    return out;
}

std::optional<std::wstring> DecodeText(std::string_view bytes, const AnsiDecoder& ansi)
{
    std::optional<std::wstring> text;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text = DecodeUtf8(bytes.substr(3));
    } else if (bytes.substr(0, 2) == "\xFF\xFE") {
        text = DecodeUtf16(bytes.substr(2), false);
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
        text = DecodeUtf16(bytes.substr(2), true);
    } else {
        if (bytes.find('\0') != std::string_view::npos)
            return std::nullopt;
        text = DecodeUtf8(bytes);
        if (!text)
            text = ansi ? ansi(bytes) : DecodeWindows1252(bytes);
    }
    if (text && text->find(L'\0') != std::wstring::npos)
        return std::nullopt;
    return text;
}

std::optional<std::string> EncodeUtf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    if (!ForEachCodePoint(text, [&](uint32_t c) { AppendUtf8(out, c); }))
        return std::nullopt;
    return out;
}

std::wstring ResolvePath(const std::wstring& folder, const std::wstring& path)
{
    std::wstring p = path;
    for (wchar_t& c : p)
        if (c == L'/')
            c = L'\\';
    const bool absolute = (HasDrive(p) && p.size() >= 3 && p[2] == L'\\') || (p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\');
    if (absolute || folder.empty() || (HasDrive(p) && !absolute))
        return path;
    std::wstring base = folder;
    for (wchar_t& c : base)
        if (c == L'/')
            c = L'\\';
    if (IsRooted(p))
        return FoldDots(base.substr(0, RootLength(base)) + p.substr(1));
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    return FoldDots(base + p);
}

bool IsWritablePath(std::wstring_view path)
{
    if (path.empty() || path.size() > kMaxPathChars || path.front() == L'*')
        return false;
    if (IsBlank(path.front()) || IsBlank(path.back()))
        return false;
    if (Unquoted(path).size() != path.size())
        return false;
    for (wchar_t c : path)
        if (static_cast<uint32_t>(c) < 0x20 || c == 0x7F)
            return false;
    return EncodeUtf8(path).has_value();
}

ParseResult ParseSoundFontList(std::string_view bytes, uint32_t portCount, const std::wstring& listFolder,
                               const AnsiDecoder& ansi)
{
    ParseResult result;
    auto fail = [&](Fault fault, size_t line) {
        result.items.clear();
        result.fault = fault;
        result.line = line;
        return result;
    };
    const std::optional<std::wstring> text = DecodeText(bytes, ansi);
    if (!text)
        return fail(Fault::NotText, 0);

    // Every key of every [SoundFonts] section, folded; the first of equal keys counts.
    std::map<std::wstring, Value> keys;
    bool seenSection = false, inSection = false;
    const std::vector<std::wstring_view> lines = SplitLines(*text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::wstring_view line = TrimBlanks(lines[i]);
        if (const auto name = SectionName(line)) {
            inSection = Folded(*name) == Folded(kSection);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection || IsComment(line))
            continue;
        const size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos || TrimBlanks(line.substr(0, equals)).empty())
            return fail(Fault::BadLine, i + 1);
        keys.try_emplace(Folded(TrimBlanks(line.substr(0, equals))),
                         Value{std::wstring(Unquoted(TrimBlanks(line.substr(equals + 1)))), i + 1});
    }
    if (!seenSection)
        return fail(Fault::NoSection, 0);

    const uint32_t mask = PortMaskOf(portCount);
    for (size_t n = 1;; ++n) {
        const std::wstring key = L"sf" + std::to_wstring(n);
        const auto found = keys.find(key);
        if (found == keys.end() || found->second.text.empty())
            break;
        Item item;
        std::wstring path = found->second.text;
        const bool disabled = path.front() == L'*';
        if (disabled)
            path = std::wstring(TrimBlanks(std::wstring_view(path).substr(1)));
        if (path.empty())
            return fail(Fault::BadPath, found->second.line);
        item.path = ResolvePath(listFolder, path);
        if (item.path.size() > kMaxPathChars)
            return fail(Fault::BadPath, found->second.line);
        if (!disabled) {
            auto option = [&](const wchar_t* name, int64_t def) -> std::optional<int64_t> {
                const auto it = keys.find(key + L"." + name);
                if (it == keys.end() || TrimBlanks(it->second.text).empty())
                    return def;
                const auto value = ParseNumber(it->second.text);
                if (!value)
                    result.line = it->second.line;
                return value;
            };
            const auto enabled = option(L"enabled", 0), bank = option(L"bank", 0), preset = option(L"preset", -1),
                       preload = option(L"preload", 1), volume = option(L"volume", 100),
                       xgdrums = option(L"xgdrums", 0);
            if (!enabled || !bank || !preset || !preload || !volume || !xgdrums)
                return fail(Fault::BadNumber, result.line);
            item.ports = static_cast<uint32_t>(*enabled) & mask;
            item.bank = static_cast<int32_t>(*bank);
            item.preset = static_cast<int32_t>(*preset);
            item.preload = static_cast<uint32_t>(*preload);
            item.volume = static_cast<int32_t>(*volume);
            item.xgdrums = static_cast<uint32_t>(*xgdrums);
        }
        result.items.push_back(std::move(item));
    }
    return result;
}

std::optional<std::string> FormatSoundFontList(std::string_view existing, const std::vector<Item>& items,
                                               uint32_t portCount, const AnsiDecoder& ansi)
{
    // The new section first, so a path that cannot be written fails before anything else.
    const uint32_t mask = PortMaskOf(portCount);
    std::wstring section = L"[SoundFonts]\r\n";
    size_t n = 0;
    for (const Item& item : items) {
        if (!IsWritablePath(item.path))
            return std::nullopt;
        const std::wstring key = L"sf" + std::to_wstring(++n);
        section += key + L"=" + item.path + L"\r\n";
        auto option = [&](const wchar_t* name, int64_t value) {
            section += key + L"." + name + L"=" + std::to_wstring(value) + L"\r\n";
        };
        if ((item.ports & mask) != 0)
            option(L"enabled", item.ports & mask);
        if (item.bank != 0)
            option(L"bank", item.bank);
        if (item.preset != -1)
            option(L"preset", item.preset);
        if (item.preload != 1)
            option(L"preload", item.preload);
        if (item.volume != 100)
            option(L"volume", item.volume);
        if (item.xgdrums != 0)
            option(L"xgdrums", item.xgdrums);
    }

    // Every other section of the file stays as it was, in its place; the list
    // takes the place of the first [SoundFonts] section, or goes last.
    std::wstring out;
    bool inSection = false, placed = false;
    const std::optional<std::wstring> text = existing.empty() ? std::nullopt : DecodeText(existing, ansi);
    if (text) {
        for (const std::wstring_view line : SplitLines(*text)) {
            if (const auto name = SectionName(TrimBlanks(line))) {
                inSection = Folded(*name) == Folded(kSection);
                if (inSection && !placed) {
                    out += section;
                    placed = true;
                }
            }
            if (!inSection) {
                out += line;
                out += L"\r\n";
            }
        }
    }
    if (!placed)
        out += section;
    const std::optional<std::string> utf8 = EncodeUtf8(out);
    if (!utf8)
        return std::nullopt;
    return "\xEF\xBB\xBF" + *utf8;
}

}  // namespace sflist
