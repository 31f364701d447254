// What the update service answers, and the versions and dates the update
// check compares. Pure functions: no network, no settings.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

enum class CheckResult : int { NoNewer = 0, NewerAvailable = 10, Error = 255 };

struct UpdateAnswer {
    std::wstring lastVersion; // "lastversion"
    std::wstring updateUrl;   // "updateurl"
};

// Lines of key=value, ending with a line feed (the last one need not); keys
// in any letter case. Control characters (a carriage return, a tab...) are
// dropped from the values, which are read byte for byte.
UpdateAnswer ParseUpdateAnswer(std::string_view body);

// Only a secure web address may be opened for the user: anything else (a
// file, a program, another scheme) could run something on this machine.
bool IsHttpsUrl(const std::wstring& url);

// Four parts, "%d.%d.%d.%d"; missing parts are 0, negative ones become 0.
using Version = std::array<int, 4>;
Version ParseVersion(const std::wstring& text);
std::wstring FormatVersion(const Version& version);
inline bool IsZero(const Version& v) { return v == Version{}; }

// "%04d-%02d-%02d" of the local date.
std::wstring FormatDate(const SYSTEMTIME& date);
// A stored date of exactly that form; 1900-01-01 for anything else.
SYSTEMTIME ParseStoredDate(const std::wstring& text);
// Whole days from `from` to `to` (truncated; negative when `to` is earlier).
long long DaysBetween(const SYSTEMTIME& from, const SYSTEMTIME& to);
// Today at midnight, local time.
SYSTEMTIME Today();
