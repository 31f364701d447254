// The writing end of the ring, used by every thread of every client program.
//
// Writers agree through a small lock word in the block's writer-reserved field
// (offset 28, never read by the synth): the holder fills the entry at the
// write index and moves the index on with a compare-exchange, so an entry is
// complete before the reader can see it and no two writers fill one entry.
// The compare-exchange also catches a synth that re-initialised the block in
// between (the index went back to 0): the entry is then written again at the
// new index. The lock holds the writer's process id, so a program that died
// holding it (killed mid-write) can be recognised and the lock taken over.
//
// A full ring is never overwritten: the writer names the entry it waits
// behind in the waiting index and waits on QueueFree, which the reader
// signals when it consumes the entry after that one. When the reader makes no
// progress for the stall time-out (no synth drains the block any more) the
// write fails, and later writes fail at once until the reader moves again.
#pragma once

#include "ipc/ring_layout.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

class CRingWriter {
public:
    CRingWriter(ring::Block* block, HANDLE dataAvailable, HANDLE queueFree, DWORD processId = GetCurrentProcessId())
        : m_block(block), m_dataAvailable(dataAvailable), m_queueFree(queueFree), m_processId(processId)
    {
    }

    void SetStallTimeout(DWORD ms) { m_stallMs = ms; }

    // One entry. False when the ring stayed full (no reader) or the block is
    // damaged; nothing is written then.
    bool Write(uint32_t port, uint32_t type, uint32_t param1 = 0, uint32_t param2 = 0, const uint8_t* data = nullptr,
               uint32_t length = 0)
    {
        length = std::min(length, ring::kChunkBytes);
        ULONGLONG stallStart = 0;
        for (;;) {
            Lock();
            const uint32_t write = ring::Shared(m_block->writeIndex).load();
            if (write >= ring::kEntryCount) {
                Unlock();
                return false;
            }
            const uint32_t read = ring::Shared(m_block->readIndex).load();
            ring::Entry& entry = m_block->entries[write];
            const uint32_t next = ring::Following(write, entry.next);
            if (next == read) {
                Unlock();
                if (!WaitForRoom(write, read, stallStart))
                    return false;
                continue;
            }
            entry.port = port;
            entry.client = m_processId;
            entry.type = type;
            entry.param1 = param1;
            entry.param2 = param2;
            entry.dataLength = length;
            if (length)
                std::memcpy(entry.data, data, length);
            uint32_t expected = write;
            const bool published = ring::Shared(m_block->writeIndex).compare_exchange_strong(expected, next);
            Unlock();
            if (!published)
                continue;
            m_stalledAt.store(kNone, std::memory_order_relaxed);
            WakeReader(write);
            return true;
        }
    }

    // A long message as chunks of 50 bytes (the last one shorter), each with
    // its index and the chunk count. The caller keeps the chunks of two long
    // messages of one program and port from interleaving.
    bool WriteLong(uint32_t port, const uint8_t* bytes, uint32_t length)
    {
        const uint32_t count = (length + ring::kChunkBytes - 1) / ring::kChunkBytes;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t offset = i * ring::kChunkBytes;
            if (!Write(port, ring::kLongChunk, i, count, bytes + offset, std::min(ring::kChunkBytes, length - offset)))
                return false;
        }
        return true;
    }

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    // A live program holds the lock for well under a microsecond; one that
    // holds it this long is suspended in a debugger or wedged.
    static constexpr ULONGLONG kLockTakeOverMs = 2000;

    void Lock()
    {
        std::atomic_ref<uint32_t> lock = ring::Shared(m_block->writerLock);
        uint32_t owner = 0;
        ULONGLONG since = 0;
        for (unsigned spins = 0;; ++spins) {
            uint32_t expected = 0;
            if (lock.load(std::memory_order_relaxed) == 0 &&
                lock.compare_exchange_weak(expected, m_processId, std::memory_order_acquire))
                return;
            if (spins < 64) {
                YieldProcessor();
                continue;
            }
            if (spins < 1024) {
                SwitchToThread();
                continue;
            }
            uint32_t current = lock.load();
            if (current == 0)
                continue;
            const ULONGLONG now = GetTickCount64();
            if (current != owner) {
                owner = current;
                since = now;
            }
            if (current != m_processId && (ProcessGone(current) || now - since > kLockTakeOverMs) &&
                lock.compare_exchange_strong(current, m_processId, std::memory_order_acquire))
                return;
            Sleep(1);
        }
    }

    void Unlock()
    {
        uint32_t mine = m_processId;
        ring::Shared(m_block->writerLock).compare_exchange_strong(mine, 0, std::memory_order_release);
    }

    static bool ProcessGone(DWORD processId)
    {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        if (!process)
            return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
        const bool gone = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        CloseHandle(process);
        return gone;
    }

    // The reader may have seen the ring empty just before this entry appeared
    // and be about to sleep. It polls a little before sleeping, so give it a
    // moment to take the entry; only a reader that really sleeps costs a
    // kernel call.
    void WakeReader(uint32_t written)
    {
        std::atomic_ref<uint32_t> read = ring::Shared(m_block->readIndex);
        for (int i = 0; i < 64; ++i) {
            if (read.load() != written)
                return;
            YieldProcessor();
        }
        if (read.load() == written)
            SetEvent(m_dataAvailable);
    }

    // Returns false when the write must be given up.
    bool WaitForRoom(uint32_t write, uint32_t read, ULONGLONG& stallStart)
    {
        std::atomic_ref<uint32_t> readIndex = ring::Shared(m_block->readIndex);
        if (m_stalledAt.load(std::memory_order_relaxed) == read)
            return false;
        for (int i = 0; i < 256; ++i) {
            if (readIndex.load() != read)
                return true;
            YieldProcessor();
        }
        ring::Shared(m_block->waitingIndex).store(write);
        if (readIndex.load() != read)
            return true;
        WaitForSingleObject(m_queueFree, 10);
        if (readIndex.load() != read)
            return true;
        const ULONGLONG now = GetTickCount64();
        if (stallStart == 0)
            stallStart = now;
        if (now - stallStart < m_stallMs)
            return true;
        m_stalledAt.store(read, std::memory_order_relaxed);
        return false;
    }

    ring::Block* m_block;
    HANDLE m_dataAvailable;
    HANDLE m_queueFree;
    DWORD m_processId;
    DWORD m_stallMs = 1000;
    // The read index at which the reader was found stalled; writes fail fast
    // while the ring stays full at that index.
    std::atomic<uint32_t> m_stalledAt{kNone};
};
