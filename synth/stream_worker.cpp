#include "synth/stream_worker.h"

#include "synth/client_stream.h"

CStreamWorker::CStreamWorker() { InitializeConditionVariable(&m_changed); }

CStreamWorker::~CStreamWorker() {
    {
        ExclusiveGuard guard(m_lock);
        m_stop = true;
    }
    WakeAllConditionVariable(&m_changed);
    // Joined: the jobs still queued are performed first, as they hold streams.
    if (m_thread) WaitForSingleObject(m_thread.Get(), INFINITE);
}

bool CStreamWorker::StartLocked() {
    if (m_thread) return true;
    // Started with the first job: tests and tools that never open a client
    // have no thread to wait for.
    m_thread.Reset(CreateThread(nullptr, 0, &ThreadProc, this, 0, nullptr));
    return static_cast<bool>(m_thread);
}

void CStreamWorker::Post(std::shared_ptr<ClientStream> client, Job job) {
    if (!client) return;
    {
        ExclusiveGuard guard(m_lock);
        if (!m_stop && StartLocked()) {
            m_jobs.push_back(Entry{std::move(client), job});
            ++m_posted;
            WakeAllConditionVariable(&m_changed);
            return;
        }
    }
    Perform(*client, job);
}

void CStreamWorker::Drain() {
    ExclusiveGuard guard(m_lock);
    const uint64_t target = m_posted;
    while (m_performed < target) SleepConditionVariableSRW(&m_changed, m_lock.Native(), INFINITE, 0);
}

DWORD WINAPI CStreamWorker::ThreadProc(void* self) {
    static_cast<CStreamWorker*>(self)->Run();
    return 0;
}

void CStreamWorker::Run() {
    ExclusiveGuard guard(m_lock);
    for (;;) {
        while (m_jobs.empty() && !m_stop) SleepConditionVariableSRW(&m_changed, m_lock.Native(), INFINITE, 0);
        if (m_jobs.empty()) return;
        Entry entry = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_lock.UnlockExclusive();
        Perform(*entry.client, entry.job);
        // The record may go with this reference: not under the lock.
        entry.client.reset();
        m_lock.LockExclusive();
        ++m_performed;
        WakeAllConditionVariable(&m_changed);
    }
}

void CStreamWorker::Perform(ClientStream& client, Job job) noexcept {
    try {
        if (job == Job::Make) {
            client.MakeStream();
        } else {
            client.Retire();
        }
    } catch (...) {
        // Out of memory making the stream or replaying a SysEx: the client
        // plays on without a stream, as after a failed creation. What it sent
        // meanwhile must not stay held back.
        client.CatchUp();
    }
}
