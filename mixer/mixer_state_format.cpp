#include "mixer/mixer_state_format.h"

#include "core/text.h"

#include <optional>

namespace {

constexpr wchar_t kSection[] = L"Mixer";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

bool SameName(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z')
            x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z')
            y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y)
            return false;
    }
    return true;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The value of `key` in the first "Mixer" section that has it, as the system's
// profile reader returns it; nothing when no such key exists.
std::optional<std::wstring> FindValue(std::wstring_view text, std::wstring_view key)
{
    bool inSection = false;
    while (!text.empty()) {
        size_t end = text.find_first_of(L"\r\n");
        const std::wstring line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
        if (line.empty())
            continue;
        if (line.front() == L'[') {
            size_t close = line.rfind(L']');
            std::wstring_view name = std::wstring_view(line).substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
            inSection = SameName(Trim(name), kSection);
            continue;
        }
        if (!inSection)
            continue;
        size_t equals = line.find(L'=');
        if (equals == std::wstring::npos || !SameName(Trim(std::wstring_view(line).substr(0, equals)), key))
            continue;
        std::wstring value = Trim(std::wstring_view(line).substr(equals + 1));
        if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::wstring_view Cut(std::wstring_view value, size_t bufferChars) { return value.substr(0, bufferChars - 1); }

void AppendUtf(std::wstring& out, uint32_t code)
{
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if constexpr (sizeof(wchar_t) == 2) {
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (code >> 10));
            out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(code);
}

std::wstring DecodeUtf16(std::string_view bytes)
{
    std::wstring out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<uint8_t>(bytes[i]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = static_cast<uint8_t>(bytes[i + 2]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 3])) << 8;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf(out, unit);
    }
    return out;
}

std::wstring DecodeUtf8(std::string_view bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const uint8_t lead = static_cast<uint8_t>(bytes[i]);
        int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= bytes.size() + (extra == 0 ? 1 : 0)) {
            // A stray or cut-off byte: kept visible, never fatal.
            AppendUtf(out, extra < 0 ? 0xFFFD : lead < 0x80 ? lead : 0xFFFD);
            ++i;
            continue;
        }
        uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            const uint8_t next = static_cast<uint8_t>(bytes[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            code = code << 6 | (next & 0x3F);
        }
        if (!valid) {
            AppendUtf(out, 0xFFFD);
            ++i;
            continue;
        }
        AppendUtf(out, code);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

}  // namespace

void ParseMixerFlags(std::wstring_view value, bool (&flags)[kMixerChannels])
{
    // Anything but exactly one character per channel is not trusted at all.
    const bool valid = value.size() == kMixerChannels;
    for (int c = 0; c < kMixerChannels; ++c)
        flags[c] = valid && value[static_cast<size_t>(c)] != L'0';
}

void ParseMixerVolumes(std::wstring_view value, uint32_t (&volume)[kMixerChannels])
{
    size_t at = 0;
    for (int c = 0; c < kMixerChannels; ++c) {
        while (at < value.size() && (IsBlank(value[at]) || value[at] == L';'))
            ++at;
        size_t digits = at;
        bool negative = false;
        if (digits < value.size() && (value[digits] == L'-' || value[digits] == L'+')) {
            negative = value[digits] == L'-';
            ++digits;
        }
        if (digits >= value.size() || !IsDigit(value[digits]))
            break;
        // Saturating: any number too big for 32 bits is above 100 all the same.
        uint64_t number = 0;
        while (digits < value.size() && IsDigit(value[digits])) {
            number = number * 10 + static_cast<uint64_t>(value[digits] - L'0');
            if (number > 0xFFFFFFFFull)
                number = 0xFFFFFFFFull + 1;
            ++digits;
        }
        // "-5" is read as the unsigned number it wraps to, which is above 100.
        if (negative && number != 0)
            number = 0xFFFFFFFFull;
        volume[c] = number > 100 ? 100 : static_cast<uint32_t>(number);
        at = digits;
        // A number glued to a word ("50abc") is taken; the word then ends the list.
    }
}

uint32_t ClampMasterVolume(int32_t value) { return value < 0 ? 0 : value > 100 ? 100 : static_cast<uint32_t>(value); }

uint32_t ParseMasterVolume(std::wstring_view value)
{
    value = Cut(value, kIntegerBufferChars);
    size_t at = 0;
    while (at < value.size() && IsBlank(value[at]))
        ++at;
    bool negative = false;
    if (at < value.size() && (value[at] == L'-' || value[at] == L'+')) {
        negative = value[at] == L'-';
        ++at;
    }
    uint32_t number = 0;  // wraps at 32 bits, as the system's reader does
    while (at < value.size() && IsDigit(value[at]))
        number = number * 10u + static_cast<uint32_t>(value[at++] - L'0');
    if (negative)
        number = 0u - number;
    return ClampMasterVolume(static_cast<int32_t>(number));
}

std::wstring FormatMixerFlags(const bool (&flags)[kMixerChannels])
{
    std::wstring text;
    for (bool flag : flags)
        text += flag ? L'1' : L'0';
    return text;
}

std::wstring FormatMixerVolumes(const uint32_t (&volume)[kMixerChannels])
{
    std::wstring text;
    for (int c = 0; c < kMixerChannels; ++c) {
        if (c)
            text += L';';
        text += std::to_wstring(volume[c] > 100 ? 100 : volume[c]);
    }
    return text;
}

void ParseMixerStateText(std::wstring_view text, MixerKeys& keys)
{
    ParseMixerFlags(Cut(FindValue(text, L"ChannelMute").value_or(L""), kFlagsBufferChars), keys.mute);
    ParseMixerFlags(Cut(FindValue(text, L"ChannelSolo").value_or(L""), kFlagsBufferChars), keys.solo);
    ParseMixerVolumes(Cut(FindValue(text, L"ChannelVolume").value_or(kNeutralVolumeList), kVolumesBufferChars),
                      keys.volume);
    // An empty value reads as a missing one, as with the system's integer reader.
    auto master = FindValue(text, L"MasterVolume");
    keys.master = master && !master->empty() ? ParseMasterVolume(*master) : 100;
}

std::wstring FormatMixerStateText(const MixerKeys& keys)
{
    std::wstring text = L"[Mixer]\r\n";
    text += L"ChannelMute=" + FormatMixerFlags(keys.mute) + L"\r\n";
    text += L"ChannelSolo=" + FormatMixerFlags(keys.solo) + L"\r\n";
    text += L"ChannelVolume=" + FormatMixerVolumes(keys.volume) + L"\r\n";
    text += L"MasterVolume=" + std::to_wstring(keys.master > 100 ? 100 : keys.master) + L"\r\n";
    return text;
}

std::wstring DecodeProfileBytes(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE)
        return DecodeUtf16(bytes.substr(2));
    if (bytes.size() >= 3 && static_cast<uint8_t>(bytes[0]) == 0xEF && static_cast<uint8_t>(bytes[1]) == 0xBB &&
        static_cast<uint8_t>(bytes[2]) == 0xBF)
        bytes.remove_prefix(3);
    return DecodeUtf8(bytes);
}
