// The writing end of the ring, used by every thread of every client program.
//
// Writers agree through a small lock word in the block's writer-reserved field
// (offset 28, never read by the synth): the holder fills the entry at the
// write index and moves the index on with a compare-exchange, so an entry is
// complete before the reader can see it and no two writers fill one entry.
// The compare-exchange also catches a synth that re-initialised the block in
// between (the index went back to 0): the entry is then written again at the
// new index. The lock word holds the owning thread's id: a lock left by a
// thread that ended (killed mid-write, in this program or another) is taken
// over at once, one held for kLockTakeOverMs by a thread that still exists
// (suspended) is taken over then.
//
// Everything the client hands over is copied before the lock is taken, so a
// bad buffer faults in the client's own thread with nothing held.
//
// A full ring is never overwritten: the writer names the entry it waits
// behind in the waiting index and waits on QueueFree, which the reader
// signals when it consumes the entry after that one. The stall time counts
// from the reader's last progress, so a slow but moving reader never fails a
// write; a reader that moved not at all for the stall time (no synth drains
// the block any more) fails the write, and later writes fail at once until
// the reader moves again. No call waits longer than its deadline in all.
#pragma once

#include "driver/owner_lock.h"
#include "ipc/ring_layout.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

class CRingWriter {
public:
    // A holder of the ring lock fills one entry in well under a microsecond;
    // one that keeps it this long is suspended or wedged.
    static constexpr DWORD kLockTakeOverMs = 1000;
    static constexpr DWORD kDefaultStallMs = 1000;

    // Tells whether a synth still drains the ring; asked only while the ring
    // is full, so a write to a ring nobody drains fails at once.
    using ListenerCheck = bool (*)(const void* context);

    CRingWriter(ring::Block* block, HANDLE dataAvailable, HANDLE queueFree, DWORD processId = GetCurrentProcessId())
        : m_block(block), m_dataAvailable(dataAvailable), m_queueFree(queueFree), m_processId(processId)
    {
    }

    void SetStallTimeout(DWORD ms) { m_stallMs = ms; }
    void SetListenerCheck(ListenerCheck check, const void* context)
    {
        m_listenerCheck = check;
        m_listenerContext = context;
    }

    // Called with the lock held and the entry chosen, just before it is
    // filled: lets a test stop a writer where a suspended thread hurts most.
    using HoldingHook = void (*)(void* context);
    void SetHoldingHookForTests(HoldingHook hook, void* context)
    {
        m_holdingHook = hook;
        m_holdingContext = context;
    }

    // One entry. False when the ring stayed full (no reader), the lock or the
    // room could not be had before the deadline, or the block is damaged;
    // nothing is written then.
    bool Write(uint32_t port, uint32_t type, uint32_t param1 = 0, uint32_t param2 = 0, const uint8_t* data = nullptr,
               uint32_t length = 0)
    {
        return Write(driverlock::Deadline(), port, type, param1, param2, data, length);
    }

    bool Write(const driverlock::Deadline& deadline, uint32_t port, uint32_t type, uint32_t param1 = 0,
               uint32_t param2 = 0, const uint8_t* data = nullptr, uint32_t length = 0)
    {
        // Staged outside the lock: the client's bytes are read here or not at all.
        Staged staged{port, type, param1, param2, std::min(length, ring::kChunkBytes), {}};
        if (staged.length)
            std::memcpy(staged.data, data, staged.length);
        Progress progress;
        for (;;) {
            if (!Lock(deadline))
                return false;
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
                if (!WaitForRoom(write, read, progress, deadline))
                    return false;
                continue;
            }
            if (m_holdingHook)
                m_holdingHook(m_holdingContext);
            // A holder whose lock was taken over while it was stopped must not
            // scribble over the new holder's entry.
            if (!driverlock::Holds(LockWord()))
                continue;
            entry.port = staged.port;
            entry.client = m_processId;
            entry.type = staged.type;
            entry.param1 = staged.param1;
            entry.param2 = staged.param2;
            entry.dataLength = staged.length;
            if (staged.length)
                std::memcpy(entry.data, staged.data, staged.length);
            uint32_t expected = write;
            const bool published =
                driverlock::Holds(LockWord()) && ring::Shared(m_block->writeIndex).compare_exchange_strong(expected, next);
            Unlock();
            if (!published)
                continue;
            m_stalledAt.store(kNone, std::memory_order_relaxed);
            WakeReader(write);
            return true;
        }
    }

    // A long message as chunks of 50 bytes (the last one shorter), each with
    // its index and the chunk count, all within one deadline. The caller
    // keeps the chunks of two long messages of one program and port from
    // interleaving, and hands bytes of its own (already copied from the client).
    bool WriteLong(uint32_t port, const uint8_t* bytes, uint32_t length,
                   const driverlock::Deadline& deadline = driverlock::Deadline())
    {
        const uint32_t count = (length + ring::kChunkBytes - 1) / ring::kChunkBytes;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t offset = i * ring::kChunkBytes;
            if (!Write(deadline, port, ring::kLongChunk, i, count, bytes + offset, std::min(ring::kChunkBytes, length - offset)))
                return false;
        }
        return true;
    }

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    struct Staged {
        uint32_t port;
        uint32_t type;
        uint32_t param1;
        uint32_t param2;
        uint32_t length;
        uint8_t data[ring::kChunkBytes];
    };

    // The reader's last movement seen by one write.
    struct Progress {
        uint32_t read = kNone;
        ULONGLONG since = 0;
    };

    std::atomic_ref<uint32_t> LockWord() { return ring::Shared(m_block->writerLock); }
    bool Lock(const driverlock::Deadline& deadline) { return driverlock::Acquire(LockWord(), deadline, kLockTakeOverMs); }
    void Unlock() { driverlock::Release(LockWord()); }

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
    bool WaitForRoom(uint32_t write, uint32_t read, Progress& progress, const driverlock::Deadline& deadline)
    {
        std::atomic_ref<uint32_t> readIndex = ring::Shared(m_block->readIndex);
        if (m_stalledAt.load(std::memory_order_relaxed) == read)
            return false;
        for (int i = 0; i < 256; ++i) {
            if (readIndex.load() != read)
                return true;
            YieldProcessor();
        }
        if (m_listenerCheck && !m_listenerCheck(m_listenerContext)) {
            m_stalledAt.store(read, std::memory_order_relaxed);
            return false;
        }
        ring::Shared(m_block->waitingIndex).store(write);
        if (readIndex.load() != read)
            return true;
        WaitForSingleObject(m_queueFree, 10);
        if (deadline.Passed())
            return false;
        if (readIndex.load() != read)
            return true;
        // The stall counts from the last time this write saw the reader move.
        const ULONGLONG now = GetTickCount64();
        if (progress.read != read) {
            progress.read = read;
            progress.since = now;
        }
        if (now - progress.since < m_stallMs)
            return true;
        m_stalledAt.store(read, std::memory_order_relaxed);
        return false;
    }

    ring::Block* m_block;
    HANDLE m_dataAvailable;
    HANDLE m_queueFree;
    DWORD m_processId;
    DWORD m_stallMs = kDefaultStallMs;
    ListenerCheck m_listenerCheck = nullptr;
    const void* m_listenerContext = nullptr;
    HoldingHook m_holdingHook = nullptr;
    void* m_holdingContext = nullptr;
    // The read index at which the reader was found stalled; writes fail fast
    // while the ring stays full at that index.
    std::atomic<uint32_t> m_stalledAt{kNone};
};
