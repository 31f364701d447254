// The consuming end of the ring. The listen thread is the only reader and the
// only writer of the read index, so it keeps its own cursor and publishes it;
// nothing a client writes into the block can move the cursor outside it.
#pragma once

#include "ipc/ring_layout.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

class CRingReader {
public:
    explicit CRingReader(ring::Block* block = nullptr) { Attach(block); }

    void Attach(ring::Block* block)
    {
        m_block = block;
        m_read = block ? ring::Shared(block->readIndex).load() % ring::kEntryCount : 0;
    }

    uint32_t ReadIndex() const { return m_read; }

    // True while the write index is somewhere else than the read index. A
    // write index beyond the ring cannot be a real position, so the ring
    // counts as empty rather than being replayed endlessly.
    bool HasEntry() const
    {
        uint32_t write = ring::Shared(m_block->writeIndex).load();
        return write != m_read && write < ring::kEntryCount;
    }

    // Copies the entry at the read index, so a writer scribbling over it while
    // it is being handled cannot change what was checked.
    bool Take(ring::Entry& out) const
    {
        if (!HasEntry())
            return false;
        std::memcpy(&out, &m_block->entries[m_read], sizeof out);
        return true;
    }

    // Moves past `taken` (the entry Take returned). Returns true when a writer
    // waiting for room should be woken.
    bool Advance(const ring::Entry& taken)
    {
        uint32_t next = ring::Following(m_read, taken.next);
        ring::Shared(m_block->readIndex).exchange(next);
        m_read = next;
        return taken.previous == ring::Shared(m_block->waitingIndex).load(std::memory_order_relaxed);
    }

    // Busy-polls an empty ring for a short while before the caller blocks:
    // writers in a burst then find the entry consumed and need not wake the
    // reader through the kernel. Returns true as soon as an entry is there.
    bool PollBriefly(unsigned spins = 2048) const
    {
        for (unsigned i = 0; i < spins; ++i) {
            if (HasEntry())
                return true;
#if defined(_WIN32)
            YieldProcessor();
#endif
        }
        return HasEntry();
    }

private:
    ring::Block* m_block = nullptr;
    uint32_t m_read = 0;
};
