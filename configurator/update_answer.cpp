#include "configurator/update_answer.h"

#include <cstdio>
#include <cwchar>

namespace {

std::wstring Widen(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    for (unsigned char c : bytes)
        if (c >= 0x20 && c != 0x7F)
            text.push_back(static_cast<wchar_t>(c));
    return text;
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

SYSTEMTIME Date(WORD year, WORD month, WORD day)
{
    SYSTEMTIME date{};
    date.wYear = year;
    date.wMonth = month;
    date.wDay = day;
    return date;
}

} // namespace

UpdateAnswer ParseUpdateAnswer(std::string_view body)
{
    UpdateAnswer answer;
    while (!body.empty()) {
        size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        // A key with a stray carriage return or blank still names its value.
        std::wstring key = Widen(Lower(line.substr(0, equals)));
        std::wstring value = Widen(line.substr(equals + 1));
        if (key == L"lastversion")
            answer.lastVersion = value;
        else if (key == L"updateurl")
            answer.updateUrl = value;
    }
    return answer;
}

bool IsHttpsUrl(const std::wstring& url)
{
    return url.size() > 8 && _wcsnicmp(url.c_str(), L"https://", 8) == 0 &&
           url.find_first_of(L" \"<>") == std::wstring::npos;
}

Version ParseVersion(const std::wstring& text)
{
    Version v{};
    std::swscanf(text.c_str(), L"%d.%d.%d.%d", &v[0], &v[1], &v[2], &v[3]);
    for (int& part : v)
        if (part < 0)
            part = 0;
    return v;
}

std::wstring FormatVersion(const Version& v)
{
    wchar_t text[64];
    std::swprintf(text, std::size(text), L"%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
    return text;
}

std::wstring FormatDate(const SYSTEMTIME& date)
{
    wchar_t text[32];
    std::swprintf(text, std::size(text), L"%04d-%02d-%02d", date.wYear, date.wMonth, date.wDay);
    return text;
}

SYSTEMTIME ParseStoredDate(const std::wstring& text)
{
    int year = 0, month = 0, day = 0;
    wchar_t rest = 0;
    if (text.size() == 10 && std::swscanf(text.c_str(), L"%4d-%2d-%2d%lc", &year, &month, &day, &rest) == 3 &&
        text[4] == L'-' && text[7] == L'-' && year >= 1601 && month >= 1 && month <= 12 && day >= 1 && day <= 31) {
        SYSTEMTIME date = Date(static_cast<WORD>(year), static_cast<WORD>(month), static_cast<WORD>(day));
        FILETIME check;
        // 2026-02-31 is no date: it reads as unknown, like any other bad text.
        if (SystemTimeToFileTime(&date, &check))
            return date;
    }
    return Date(1900, 1, 1);
}

long long DaysBetween(const SYSTEMTIME& from, const SYSTEMTIME& to)
{
    auto ticks = [](const SYSTEMTIME& t) {
        FILETIME ft{};
        SystemTimeToFileTime(&t, &ft);
        return static_cast<long long>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    };
    return (ticks(to) - ticks(from)) / 864000000000LL;
}

SYSTEMTIME Today()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return Date(now.wYear, now.wMonth, now.wDay);
}
