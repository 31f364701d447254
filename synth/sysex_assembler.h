// Reassembles a system-exclusive message that the driver delivers as numbered
// chunks of at most 50 bytes. Chunk k lands at offset k x 50.
//
// The chunk count comes from the client and is not trusted: a count whose
// message would exceed kMaxBytes is dropped, never allocated, and a chunk that
// does not continue the message being assembled (wrong count, out of order,
// first chunk lost, a short chunk before the last) abandons it. The buffer is
// allocated only when a message's first chunk needs more room than it has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class SysExAssembler {
public:
    static constexpr uint32_t kChunkBytes = 50;
    static constexpr uint32_t kInitialChunks = 4;
    static constexpr uint64_t kMaxBytes = 1024 * 1024;

    SysExAssembler();
    SysExAssembler(const SysExAssembler&) = delete;
    SysExAssembler& operator=(const SysExAssembler&) = delete;

    enum class Result {
        Partial,   // stored; more chunks to come
        Complete,  // Data()/Length() hold the whole message until the next Add
        Dropped,   // ignored or abandoned
    };

    // count 1 is not handled here (the caller sends such chunks as they are).
    Result Add(uint32_t index, uint32_t count, const uint8_t* data, uint32_t length);

    const uint8_t* Data() const { return m_buffer.get(); }
    uint32_t Length() const { return m_completeLength; }
    uint32_t CapacityChunks() const { return m_capacityChunks; }
    void Release();

private:
    std::unique_ptr<uint8_t[]> m_buffer;
    uint32_t m_capacityChunks = 0;
    uint32_t m_count = 0;      // chunk count of the message in progress, 0 = none
    uint32_t m_next = 0;       // index expected next
    uint32_t m_length = 0;     // bytes stored so far
    uint32_t m_completeLength = 0;
};
