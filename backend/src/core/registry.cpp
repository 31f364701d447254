#include "core/registry.h"

#include "core/handle_table.h"

namespace tsl {
namespace {

// Starts high so a stream handle is never mistaken for a small number (device
// index, boolean) by a caller.
HandleTable<Channel>& Channels() {
    static HandleTable<Channel> table(0x10000001u, 0xFFFFFFFFu);
    return table;
}

thread_local int g_lastError = 0;

} // namespace

uint32_t RegisterChannel(std::shared_ptr<Channel> channel) { return Channels().Add(std::move(channel)); }
std::shared_ptr<Channel> FindChannel(uint32_t handle) { return Channels().Find(handle); }
std::shared_ptr<Channel> UnregisterChannel(uint32_t handle) { return Channels().Remove(handle); }

void SetError(int code) noexcept { g_lastError = code; }
int GetError() noexcept { return g_lastError; }

} // namespace tsl
