#include <sys/types.h>

#include "encode/native_file.h"

namespace tsl::encode {

std::string AnsiToUtf8(const char* text) { return text; }

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SeekFile(std::FILE* f, uint64_t offset) { return fseeko(f, off_t(offset), SEEK_SET) == 0; }

} // namespace tsl::encode
