#include "font/font_table.h"

#include <mutex>
#include <unordered_map>

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

} // namespace tsl::font
