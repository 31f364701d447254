// Small text helpers shared by the program's parsers and command builders.
// Portable: no system calls, so the parsers built on them can be fuzzed natively.
#pragma once

#include <string>
#include <string_view>

// The text without white space at either end.
std::wstring Trim(std::wstring_view text);
// The same as a view into `text`, for parsers that keep views of their lines.
std::wstring_view TrimView(std::wstring_view text);

// Every occurrence of `what` replaced by `with`, left to right; replaced text
// is not searched again.
std::wstring ReplaceAll(std::wstring text, std::wstring_view what, std::wstring_view with);

// Generalised UTF-8 for any wchar_t text (UTF-16 on Windows, UTF-32 elsewhere):
// a lone surrogate is written as its own three-byte sequence, so every file
// name survives a round trip even when it is not valid Unicode.
std::string ToUtf8(std::wstring_view text);
// The inverse; false when `bytes` is not generalised UTF-8 (stray continuation
// bytes, overlong forms, truncated sequences, values past U+10FFFF).
bool FromUtf8Strict(std::string_view bytes, std::wstring& text);
