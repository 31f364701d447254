#include "encode/native_file.h"

#include "font/file.h"

namespace tsl::encode {

std::string AnsiToUtf8(const char* text); // platform part

std::string ApiTextToUtf8(const void* text, bool unicode) {
    if (!text) return {};
    if (unicode) return font::Utf16ToUtf8(static_cast<const uint16_t*>(text));
    return AnsiToUtf8(static_cast<const char*>(text));
}

} // namespace tsl::encode
