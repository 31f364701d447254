#include "synth/sysex_store.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tsl {
namespace {

constexpr uint32_t kChunkBits = 10;
constexpr uint32_t kChunkSize = 1u << kChunkBits;
constexpr uint32_t kMaxChunks = 4096;

struct Entry {
    uint32_t size;
    uint8_t bytes[1];
};

struct Store {
    std::mutex lock; // writers only
    std::unordered_map<std::string, uint32_t> ids;
    size_t totalBytes = 0;
    uint32_t next = 1;
    // Readers walk these without a lock: a slot is published (release) only
    // after its entry is complete, and nothing is ever removed.
    std::atomic<std::atomic<const Entry*>*> chunks[kMaxChunks] = {};
};

Store& TheStore() {
    static Store s;
    return s;
}

} // namespace

uint32_t SysExStore::Intern(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > kMaxMessageBytes) return 0;
    Store& s = TheStore();
    std::string key(reinterpret_cast<const char*>(data), size);
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.ids.find(key);
    if (it != s.ids.end()) return it->second;
    if (s.totalBytes + size > kMaxTotalBytes || s.next >= kMaxChunks * kChunkSize) return 0;
    uint32_t id = s.next;
    uint32_t c = id >> kChunkBits;
    std::atomic<const Entry*>* chunk = s.chunks[c].load(std::memory_order_relaxed);
    if (!chunk) {
        chunk = new std::atomic<const Entry*>[kChunkSize];
        for (uint32_t i = 0; i < kChunkSize; ++i) chunk[i].store(nullptr, std::memory_order_relaxed);
        s.chunks[c].store(chunk, std::memory_order_release);
    }
    Entry* e = static_cast<Entry*>(::operator new(sizeof(Entry) + size));
    e->size = static_cast<uint32_t>(size);
    std::memcpy(e->bytes, data, size);
    chunk[id & (kChunkSize - 1)].store(e, std::memory_order_release);
    s.ids.emplace(std::move(key), id);
    s.totalBytes += size;
    ++s.next;
    return id;
}

SysExView SysExStore::Find(uint32_t id) noexcept {
    SysExView v;
    uint32_t c = id >> kChunkBits;
    if (id == 0 || c >= kMaxChunks) return v;
    std::atomic<const Entry*>* chunk = TheStore().chunks[c].load(std::memory_order_acquire);
    if (!chunk) return v;
    const Entry* e = chunk[id & (kChunkSize - 1)].load(std::memory_order_acquire);
    if (!e) return v;
    v.data = e->bytes;
    v.size = e->size;
    return v;
}

} // namespace tsl
