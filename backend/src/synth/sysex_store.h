// Process-wide store of system-exclusive messages, named by small ids.
//
// MIDI_EVENT_SYSTEMEX events carry such an id instead of the bytes, so event
// records stay fixed-size. Messages are deduplicated by content and kept for
// the life of the process (files repeat the same few resets and level
// messages); the total is capped so hostile input cannot grow it without end.
//
// Threads: Intern may be called from any thread (it takes a lock and may
// allocate). Find never locks or allocates and may be called from the render
// thread; the bytes it returns stay valid for the life of the process.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsl {

struct SysExView {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
};

class SysExStore {
public:
    static constexpr uint32_t kMaxMessageBytes = 65536;
    static constexpr size_t kMaxTotalBytes = 64u << 20;

    // Returns the id of a message with these bytes (1 or more), or 0 when the
    // message is empty, too large, or the store is full.
    static uint32_t Intern(const uint8_t* data, size_t size);
    // The message of an id; an empty view for unknown ids.
    static SysExView Find(uint32_t id) noexcept;
};

} // namespace tsl
