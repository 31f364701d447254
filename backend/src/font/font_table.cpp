#include "font/font_table.h"

#include "core/handle_table.h"

namespace tsl::font {

namespace {

// Font handles carry their own tag in the top bits, so a channel handle
// passed by mistake is not taken for a font.
HandleTable<Font>& Fonts() {
    static HandleTable<Font> table(0x50000001u, 0x5FFFFFFFu);
    return table;
}

} // namespace

uint32_t RegisterFont(std::shared_ptr<Font> font) { return Fonts().Add(std::move(font)); }
std::shared_ptr<Font> FindFont(uint32_t handle) { return Fonts().Find(handle); }
std::shared_ptr<Font> UnregisterFont(uint32_t handle) { return Fonts().Remove(handle); }

} // namespace tsl::font
