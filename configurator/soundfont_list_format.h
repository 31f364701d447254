// Soundfont-list files (".tslsf"): the [SoundFonts] section of the
// configuration file's layout in a file of its own ("sf1=path",
// "sf1.enabled=3", ...). Reading and writing are pure functions over bytes,
// with no system calls, so they can be tested and fuzzed anywhere.
//
// Files are written as UTF-8 with a byte-order mark, so a path in any script
// survives; files of the older forms (UTF-16 with a byte-order mark, or 8-bit
// text in the system's code page) are still read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sflist {

// Longest path an entry may name (the system's path limit less its terminator).
constexpr size_t kMaxPathChars = 259;

struct Item {
    std::wstring path;
    uint32_t ports = 0;  // bit p = enabled on port p
    int32_t bank = 0;
    int32_t preset = -1;  // -1: all presets
    int32_t volume = 100;
    uint32_t preload = 1;
    uint32_t xgdrums = 0;

    bool operator==(const Item&) const = default;
};

enum class Fault {
    None,
    NotText,      // not decodable as text, or holds NUL characters
    NoSection,    // no [SoundFonts] section at all
    BadLine,      // a line of the section that is neither a key nor a comment
    BadNumber,    // an option that is not a decimal number in range
    BadPath,      // an empty path, or one longer than kMaxPathChars
};

struct ParseResult {
    std::vector<Item> items;
    Fault fault = Fault::None;
    size_t line = 0;  // 1-based line of the fault; 0 when none or not tied to a line

    bool Ok() const { return fault == Fault::None; }
};

// Decodes 8-bit text of the older form; the default maps Windows-1252.
using AnsiDecoder = std::function<std::wstring(std::string_view)>;
std::wstring DecodeWindows1252(std::string_view bytes);

// The file's text: UTF-8 or UTF-16 (either byte order) by byte-order mark;
// without one, UTF-8 when the bytes are valid UTF-8, otherwise the 8-bit form.
// Nothing when the bytes are not text.
std::optional<std::wstring> DecodeText(std::string_view bytes, const AnsiDecoder& ansi = DecodeWindows1252);

// UTF-8 of `text`; nothing when it holds an unpaired surrogate.
std::optional<std::string> EncodeUtf8(std::wstring_view text);

// `path` made absolute against `folder` when it is relative ("x.sf2",
// "..\\x.sf2", "\\x.sf2" on the folder's drive), with "." and ".." folded.
std::wstring ResolvePath(const std::wstring& folder, const std::wstring& path);

// Reads the list. Entries are numbered from 1 and end at the first missing
// or empty path key; a path starting with "*" is an entry disabled on every
// port whose other keys are not read. Port masks are cut to `portCount`
// ports; relative paths are taken from `listFolder`. A file with a fault
// yields no items at all.
ParseResult ParseSoundFontList(std::string_view bytes, uint32_t portCount, const std::wstring& listFolder,
                               const AnsiDecoder& ansi = DecodeWindows1252);

// The file's new bytes: `existing` (what the file holds now; empty for a new
// file) with its [SoundFonts] section replaced by `items`, every other section
// kept. Masks are cut to `portCount` ports and options written only when they
// differ from their defaults. Nothing when an item's path would not read back
// as written (empty, too long, control characters, a leading "*", blanks or
// quotes at either end, an unpaired surrogate).
std::optional<std::string> FormatSoundFontList(std::string_view existing, const std::vector<Item>& items,
                                               uint32_t portCount, const AnsiDecoder& ansi = DecodeWindows1252);

// Whether `path` would read back exactly as written.
bool IsWritablePath(std::wstring_view path);

}  // namespace sflist
