// The driver's one kind of lock: a word holding the id of the thread that owns
// it, so a waiter can tell a holder that ended (its thread is gone: take the
// lock over at once) from one that still runs. Every wait has a deadline; a
// caller that reaches it gives up and reports an error instead of hanging the
// client program.
//
// Thread ids are unique among the running threads of the whole system, so
// the same word works between the threads of one program and, in the shared
// block, between programs.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace driverlock {

// No driver call of a client program waits longer than this in all; then the
// message is dropped and the call returns an error.
inline constexpr DWORD kCallLimitMs = 3000;

// A point in time the waits of one driver call must not pass.
class Deadline {
public:
    explicit Deadline(DWORD ms = kCallLimitMs) : m_end(GetTickCount64() + ms) {}
    bool Passed() const { return GetTickCount64() >= m_end; }

private:
    ULONGLONG m_end;
};

// Whether the thread with this id has ended (or never existed). A thread of
// another user's program cannot be opened; it counts as running.
inline bool ThreadGone(DWORD threadId)
{
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (!thread)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    const bool gone = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return gone;
}

// Acquires the lock word `word` for the calling thread. `stuckMs`, when not
// 0, also takes the lock from a holder that keeps it that long (a thread
// suspended in a debugger); 0 waits for a live holder until the deadline.
// False when the deadline passed first.
inline bool Acquire(std::atomic_ref<uint32_t> word, const Deadline& deadline, DWORD stuckMs = 0)
{
    const uint32_t me = GetCurrentThreadId();
    // A thread that already holds the word waits for itself: the deadline ends that.
    uint32_t seen = 0;
    ULONGLONG seenSince = 0;
    for (unsigned spins = 0;; ++spins) {
        uint32_t expected = 0;
        if (word.load(std::memory_order_relaxed) == 0 && word.compare_exchange_weak(expected, me, std::memory_order_acquire))
            return true;
        if (spins < 64) {
            YieldProcessor();
            continue;
        }
        if (spins < 256) {
            SwitchToThread();
            continue;
        }
        uint32_t holder = word.load();
        if (holder == 0)
            continue;
        const ULONGLONG now = GetTickCount64();
        if (holder != seen) {
            seen = holder;
            seenSince = now;
        }
        const bool stuck = stuckMs != 0 && now - seenSince >= stuckMs;
        if ((stuck || ThreadGone(holder)) &&
            word.compare_exchange_strong(holder, me, std::memory_order_acquire))
            return true;
        if (deadline.Passed())
            return false;
        Sleep(1);
    }
}

// Lets go of the word if the calling thread still holds it (a holder whose
// lock was taken over must not release the new owner's).
inline void Release(std::atomic_ref<uint32_t> word)
{
    uint32_t me = GetCurrentThreadId();
    word.compare_exchange_strong(me, 0, std::memory_order_release);
}

inline bool Holds(std::atomic_ref<uint32_t> word) { return word.load() == GetCurrentThreadId(); }

}  // namespace driverlock

// A lock of this program (ports, the channel): owned by a thread, taken over
// when that thread ended, never taken from a live one.
class COwnerLock {
public:
    COwnerLock() = default;
    COwnerLock(const COwnerLock&) = delete;
    COwnerLock& operator=(const COwnerLock&) = delete;

    bool Acquire(const driverlock::Deadline& deadline) { return driverlock::Acquire(Word(), deadline); }
    void Release() { driverlock::Release(Word()); }
    uint32_t Owner() { return Word().load(); }

private:
    std::atomic_ref<uint32_t> Word() { return std::atomic_ref<uint32_t>(m_owner); }
    alignas(4) uint32_t m_owner = 0;
};

// Holds a COwnerLock for a scope, if it could be had before the deadline.
class COwnerGuard {
public:
    COwnerGuard(COwnerLock& lock, const driverlock::Deadline& deadline) : m_lock(lock), m_held(lock.Acquire(deadline)) {}
    ~COwnerGuard()
    {
        if (m_held)
            m_lock.Release();
    }
    COwnerGuard(const COwnerGuard&) = delete;
    COwnerGuard& operator=(const COwnerGuard&) = delete;
    explicit operator bool() const { return m_held; }

private:
    COwnerLock& m_lock;
    bool m_held;
};
