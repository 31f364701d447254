#include "core/registry.h"

#include <mutex>
#include <unordered_map>

namespace tsl {
namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<uint32_t, std::shared_ptr<Channel>> live;
    // Starts high so a stream handle is never mistaken for a small number
    // (device index, boolean) by a caller; never reused.
    uint32_t next = 0x10000001u;
};

Table& TheTable() {
    static Table table;
    return table;
}

thread_local int g_lastError = 0;

} // namespace

uint32_t RegisterChannel(std::shared_ptr<Channel> channel) {
    if (!channel) return 0;
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    uint32_t h = t.next++;
    if (h == 0) h = t.next++; // wrapped after four billion handles: skip 0
    t.live.emplace(h, std::move(channel));
    return h;
}

std::shared_ptr<Channel> FindChannel(uint32_t handle) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.live.find(handle);
    return it == t.live.end() ? nullptr : it->second;
}

std::shared_ptr<Channel> UnregisterChannel(uint32_t handle) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.live.find(handle);
    if (it == t.live.end()) return nullptr;
    std::shared_ptr<Channel> c = std::move(it->second);
    t.live.erase(it);
    return c;
}

void SetError(int code) noexcept { g_lastError = code; }
int GetError() noexcept { return g_lastError; }

} // namespace tsl
