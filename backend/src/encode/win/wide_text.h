// UTF-16 conversions for the Windows platform code.
#pragma once

#include <windows.h>

#include <string>

namespace tsl::encode {

inline std::wstring CodePageToWide(const char* text, UINT codePage) {
    const int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (n <= 1) return {};
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, w.data(), n);
    w.resize(size_t(n - 1));
    return w;
}

inline std::wstring Utf8ToWide(const std::string& s) { return CodePageToWide(s.c_str(), CP_UTF8); }

inline std::string WideToUtf8(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.resize(size_t(n - 1));
    return s;
}

} // namespace tsl::encode
