// A synth's side of the channel for the driver's tests: the shared block with
// its events under the given names, and a listen "thread" that owns the
// listener mutex until told to stop (or is killed by ending without letting go).
#pragma once

#include "ipc/channel_names.h"
#include "ipc/ring_layout.h"
#include "unit/ipc/channel_test_support.h"

#include <windows.h>

namespace drivertest {

class FakeSynth {
public:
    explicit FakeSynth(const ChannelNames& names) : m_names(names)
    {
        m_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, ring::kBlockSize, names.sharedMem.c_str());
        block = static_cast<ring::Block*>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, ring::kBlockSize));
        auto linked = channeltest::LinkedBlock();
        std::memcpy(block, linked.get(), sizeof(ring::Block));
        block->blockSize = ring::kBlockSize;
        block->listening = 1;
        m_dataAvailable = CreateEventW(nullptr, FALSE, FALSE, names.dataAvailable.c_str());
        m_queueFree = CreateEventW(nullptr, FALSE, FALSE, names.queueFree.c_str());
    }
    ~FakeSynth()
    {
        StopListening();
        UnmapViewOfFile(block);
        CloseHandle(m_mapping);
        CloseHandle(m_dataAvailable);
        CloseHandle(m_queueFree);
    }

    // A thread that owns the listener mutex as the listen thread does.
    void StartListening()
    {
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_owned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = CreateThread(nullptr, 0, &ListenProc, this, 0, nullptr);
        WaitForSingleObject(m_owned, INFINITE);
    }
    // abandon: the thread ends holding the mutex, as a killed synth does.
    void StopListening(bool abandon = false)
    {
        if (!m_thread)
            return;
        m_abandon = abandon;
        SetEvent(m_stop);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        CloseHandle(m_stop);
        CloseHandle(m_owned);
        m_thread = nullptr;
    }

    ring::Block* block = nullptr;

private:
    static DWORD WINAPI ListenProc(void* param)
    {
        auto* self = static_cast<FakeSynth*>(param);
        HANDLE mutex = CreateMutexW(nullptr, TRUE, self->m_names.listener.c_str());
        SetEvent(self->m_owned);
        WaitForSingleObject(self->m_stop, INFINITE);
        if (!self->m_abandon)
            ReleaseMutex(mutex);
        CloseHandle(mutex);
        return 0;
    }

    ChannelNames m_names;
    HANDLE m_mapping = nullptr;
    HANDLE m_dataAvailable = nullptr;
    HANDLE m_queueFree = nullptr;
    HANDLE m_thread = nullptr;
    HANDLE m_stop = nullptr;
    HANDLE m_owned = nullptr;
    bool m_abandon = false;
};

}  // namespace drivertest
