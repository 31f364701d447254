// libFuzzer target: the language-file format (UTF-8 decoding, sections,
// keys, values, line breaks), read for a section named by the input's first
// line, then for the usual one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/language_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const size_t firstLine = bytes.find('\n');
    const std::wstring section = WideFromUtf8(bytes.substr(0, firstLine == std::string_view::npos ? 0 : firstLine));
    LanguageTexts texts;
    ParseLanguageSection(bytes, section, texts);
    ParseLanguageSection(bytes, L"common", texts);
    for (const auto& [key, value] : texts) {
        if (key.empty() || value.empty()) __builtin_trap();
    }
    return 0;
}
