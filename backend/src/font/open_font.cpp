// OpenFont: the reader by the file's content (RIFF "sfbk") or name (.sfz).
#include <cstring>

#include "bass.h"
#include "font/readers.h"

namespace tsl::font {

namespace {

bool EndsWithNoCase(const std::string& s, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char a = s[s.size() - n + i], b = suffix[i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

} // namespace

std::shared_ptr<Font> OpenFont(const std::string& path, uint32_t flags, int* error) {
    auto file = File::Open(path);
    if (!file) {
        if (error) *error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    uint8_t h[12] = {};
    bool riff = file->Size() >= 12 && file->ReadAt(0, h, 12) && std::memcmp(h, "RIFF", 4) == 0 &&
                std::memcmp(h + 8, "sfbk", 4) == 0;
    if (riff) return OpenSf2(std::move(file), flags, error);
    if (EndsWithNoCase(path, ".sfz")) {
        file.reset();
        return OpenSfz(path, flags, error);
    }
    if (error) *error = BASS_ERROR_FILEFORM;
    return nullptr;
}

} // namespace tsl::font
