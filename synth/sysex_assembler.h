// Reassembles a system-exclusive message that the driver delivers as numbered
// chunks of at most 50 bytes. Chunk k lands at offset k x 50.
//
// The chunk count comes from the client and is not trusted: a count whose
// message would exceed kMaxBytes is dropped, never allocated, and a chunk that
// does not continue the message being assembled (wrong count, out of order,
// first chunk lost, a short chunk before the last) abandons it. The buffer is
// allocated only when a message's first chunk needs more room than it has.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

class SysExAssembler {
public:
    static constexpr DWORD kChunkBytes = 50;
    static constexpr DWORD kInitialChunks = 4;
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
    Result Add(DWORD index, DWORD count, const BYTE* data, DWORD length);

    const BYTE* Data() const { return m_buffer.get(); }
    DWORD Length() const { return m_completeLength; }
    DWORD CapacityChunks() const { return m_capacityChunks; }
    void Release();

private:
    std::unique_ptr<BYTE[]> m_buffer;
    DWORD m_capacityChunks = 0;
    DWORD m_count = 0;      // chunk count of the message in progress, 0 = none
    DWORD m_next = 0;       // index expected next
    DWORD m_length = 0;     // bytes stored so far
    DWORD m_completeLength = 0;
};
