#include "synth/sysex_assembler.h"

#include <cstring>
#include <new>

SysExAssembler::SysExAssembler()
    : m_buffer(new (std::nothrow) uint8_t[kInitialChunks * kChunkBytes]),
      m_capacityChunks(m_buffer ? kInitialChunks : 0) {}

void SysExAssembler::Release() {
    m_buffer.reset();
    m_capacityChunks = 0;
    m_count = 0;
    m_next = 0;
    m_length = 0;
    m_completeLength = 0;
}

SysExAssembler::Result SysExAssembler::Add(uint32_t index, uint32_t count, const uint8_t* data, uint32_t length) {
    m_completeLength = 0;
    if (count < 2 || index >= count || data == nullptr) return Result::Dropped;
    if (length > kChunkBytes) length = kChunkBytes;

    if (index == 0) {
        // A new first chunk abandons whatever was being assembled.
        m_count = 0;
        m_next = 0;
        m_length = 0;
        const uint64_t bytes = uint64_t{count} * kChunkBytes;
        if (bytes > kMaxBytes) return Result::Dropped;
        if (count > m_capacityChunks) {
            // Grow only here, once per larger message; a failed allocation drops it.
            std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
            if (!bigger) return Result::Dropped;
            m_buffer = std::move(bigger);
            m_capacityChunks = count;
        }
        m_count = count;
    } else if (m_count == 0 || count != m_count || index != m_next) {
        // Not the continuation of the message in progress (its first chunk was
        // lost, or chunks of two messages got mixed): drop it all.
        m_count = 0;
        m_next = 0;
        m_length = 0;
        return Result::Dropped;
    }

    const uint64_t offset = uint64_t{index} * kChunkBytes;
    if (index >= m_capacityChunks || offset + length > uint64_t{m_capacityChunks} * kChunkBytes) {
        m_count = 0;
        return Result::Dropped;
    }
    // Every chunk but the last is full; a short one would leave a hole.
    if (index + 1 < count && length != kChunkBytes) {
        m_count = 0;
        m_length = 0;
        return Result::Dropped;
    }
    std::memcpy(m_buffer.get() + offset, data, length);
    m_length += length;
    m_next = index + 1;

    if (index + 1 < count) return Result::Partial;
    m_completeLength = m_length;
    m_count = 0;
    m_next = 0;
    m_length = 0;
    return Result::Complete;
}
