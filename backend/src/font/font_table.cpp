#include "font/font_table.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "bass.h"
#include "font/readers.h"

namespace tsl::font {

namespace {

struct Table {
    std::mutex mutex;
    std::unordered_map<uint32_t, std::shared_ptr<Font>> fonts;
    // Font handles carry a tag in the top bits so that a channel handle passed
    // by mistake is not taken for a font.
    uint32_t next = 0x50000001;
};

Table& TheTable() {
    static Table t;
    return t;
}

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

uint32_t RegisterFont(std::shared_ptr<Font> font) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    uint32_t h = t.next++;
    if (t.next > 0x5FFFFFFF) t.next = 0x50000001; // 268 million fonts later
    t.fonts.emplace(h, std::move(font));
    return h;
}

std::shared_ptr<Font> FindFont(uint32_t handle) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.fonts.find(handle);
    return it == t.fonts.end() ? nullptr : it->second;
}

std::shared_ptr<Font> UnregisterFont(uint32_t handle) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.fonts.find(handle);
    if (it == t.fonts.end()) return nullptr;
    auto f = std::move(it->second);
    t.fonts.erase(it);
    return f;
}

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
