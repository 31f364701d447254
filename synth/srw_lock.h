// A slim reader/writer lock with scoped guards. Not recursive: a thread that
// holds it must not take it again in either mode.
#pragma once

#include <windows.h>

class SrwLock {
public:
    SrwLock() { InitializeSRWLock(&m_lock); }
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;

    void LockShared() { AcquireSRWLockShared(&m_lock); }
    void UnlockShared() { ReleaseSRWLockShared(&m_lock); }
    void LockExclusive() { AcquireSRWLockExclusive(&m_lock); }
    void UnlockExclusive() { ReleaseSRWLockExclusive(&m_lock); }
    // For SleepConditionVariableSRW.
    SRWLOCK* Native() { return &m_lock; }

private:
    SRWLOCK m_lock;
};

class SharedGuard {
public:
    explicit SharedGuard(SrwLock& lock) : m_lock(lock) { m_lock.LockShared(); }
    ~SharedGuard() { m_lock.UnlockShared(); }
    SharedGuard(const SharedGuard&) = delete;
    SharedGuard& operator=(const SharedGuard&) = delete;

private:
    SrwLock& m_lock;
};

class ExclusiveGuard {
public:
    explicit ExclusiveGuard(SrwLock& lock) : m_lock(lock) { m_lock.LockExclusive(); }
    ~ExclusiveGuard() { m_lock.UnlockExclusive(); }
    ExclusiveGuard(const ExclusiveGuard&) = delete;
    ExclusiveGuard& operator=(const ExclusiveGuard&) = delete;

private:
    SrwLock& m_lock;
};
