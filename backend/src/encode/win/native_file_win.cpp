#include <windows.h>

#include "encode/native_file.h"
#include "encode/win/wide_text.h"

namespace tsl::encode {

std::string AnsiToUtf8(const char* text) { return WideToUtf8(CodePageToWide(text, CP_ACP)); }

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    const std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(Utf8ToWide(path).c_str(), wmode.c_str());
}

bool SeekFile(std::FILE* f, uint64_t offset) { return _fseeki64(f, int64_t(offset), SEEK_SET) == 0; }

} // namespace tsl::encode
