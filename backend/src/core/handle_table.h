// A process-wide table of live objects by 32-bit handle: channels and fonts
// each keep one. Handles count up through their own range, so a handle of one
// kind passed by mistake is not taken for another, and a freed handle is not
// given out again until the range has been used up. Thread-safe: lookups take
// a short lock and return a strong reference, so an object stays valid for its
// caller even when another thread frees the handle meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace tsl {

template <class T>
class HandleTable {
public:
    HandleTable(uint32_t first, uint32_t last) : first_(first), last_(last), next_(first) {}
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    // 0 for a null object.
    uint32_t Add(std::shared_ptr<T> object) {
        if (!object) return 0;
        std::lock_guard<std::mutex> guard(lock_);
        const uint32_t handle = next_;
        next_ = next_ == last_ ? first_ : next_ + 1;
        live_.emplace(handle, std::move(object));
        return handle;
    }

    std::shared_ptr<T> Find(uint32_t handle) {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = live_.find(handle);
        return it == live_.end() ? nullptr : it->second;
    }

    // Removes the handle; returns the object (null when unknown) so the caller
    // can finish it outside the lock.
    std::shared_ptr<T> Remove(uint32_t handle) {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = live_.find(handle);
        if (it == live_.end()) return nullptr;
        std::shared_ptr<T> object = std::move(it->second);
        live_.erase(it);
        return object;
    }

private:
    const uint32_t first_, last_;
    std::mutex lock_;
    std::unordered_map<uint32_t, std::shared_ptr<T>> live_;
    uint32_t next_;
};

} // namespace tsl
