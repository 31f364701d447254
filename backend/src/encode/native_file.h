// File names and command lines as the C API receives them, and files opened
// by UTF-8 name on every platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tsl::encode {

// UTF-16 with BASS_UNICODE; otherwise the ANSI code page on Windows and UTF-8
// elsewhere. Null gives an empty string.
std::string ApiTextToUtf8(const void* text, bool unicode);

std::FILE* OpenFileUtf8(const std::string& path, const char* mode);
// 64-bit absolute seek (files beyond 4 GB).
bool SeekFile(std::FILE* f, uint64_t offset);

} // namespace tsl::encode
