// Converter file lists (.tslmcfl): one line per file, "path|key" (key as the
// list shows it: 0, +5, -12), lines ending in CR LF.
//
// Written as UTF-8 with a byte-order mark so that any file name survives.
// Read: that form; UTF-16 with its byte-order mark; and the older form of one
// byte per character (each byte the character's code), which is also what a
// file without a mark is taken for unless it reads as UTF-8 with at least one
// character beyond ASCII.
//
// Pure functions without system calls, so they can be fuzzed natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct FileListEntry {
    std::wstring path;
    int keyShift = 0;
};

// Larger files are not lists of MIDI files; reading stops there.
constexpr size_t kMaxFileListBytes = 64u * 1024 * 1024;

// The entries of a list file's bytes, or nothing when the bytes are not a list
// file (a mark followed by text that is not in its encoding, a NUL character,
// more than kMaxFileListBytes). Lines are split at every "|": the first field,
// with every double quotation mark removed, is the path (lines without a path
// are skipped); the second field's leading decimal integer is the key shift
// (0 without one), limited to -12 .. +12; further fields are ignored.
std::optional<std::vector<FileListEntry>> ParseFileList(std::string_view bytes);

// The bytes of a list file holding `entries`, in the written form above.
std::string FormatFileList(const std::vector<FileListEntry>& entries);

// The leading decimal integer of `text` after white space, with an optional
// sign (0 without one), limited to -12 .. +12.
int ParseKeyShift(std::wstring_view text);
