// Makes and frees client streams away from the listen thread and the
// watchdog. A stream takes tens of milliseconds to make (megabytes of fresh
// pages for its voices and queues, a loader thread) and to free (its update
// thread is joined); done on the listen thread, a burst of programs opening
// held up every other program's MIDI for seconds, past the driver's limit.
//
// Threads: Post from any thread. One worker thread performs the jobs in the
// order they were posted, so a client's stream is made before it is freed.
// Drain waits until every job posted before the call has been performed; the
// engine drains before it frees fonts or devices or destroys ports, since a
// job reaches all three. A job never waits for the thread that drains.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>

#include "ipc/kernel_handle.h"
#include "synth/srw_lock.h"

class ClientStream;

class CStreamWorker {
public:
    enum class Job {
        Make,    // the client's stream, then what it sent meanwhile
        Retire,  // the client left its port: its stream goes
    };

    CStreamWorker();
    ~CStreamWorker();
    CStreamWorker(const CStreamWorker&) = delete;
    CStreamWorker& operator=(const CStreamWorker&) = delete;

    // Queues the job; without a worker thread (it could not be started) the
    // job is performed at once by the caller.
    void Post(std::shared_ptr<ClientStream> client, Job job);
    void Drain();

    static void Perform(ClientStream& client, Job job) noexcept;

private:
    struct Entry {
        std::shared_ptr<ClientStream> client;
        Job job;
    };

    static DWORD WINAPI ThreadProc(void* self);
    void Run();
    bool StartLocked();

    SrwLock m_lock;
    CONDITION_VARIABLE m_changed;
    // Under m_lock.
    std::deque<Entry> m_jobs;
    uint64_t m_posted = 0;     // jobs ever queued
    uint64_t m_performed = 0;  // jobs ever finished
    bool m_stop = false;
    CKernelHandle m_thread;
};
