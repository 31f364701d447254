// The synth's hold on the shared objects of the driver channel: the block,
// its two named events and the watchdog's stop event.
#pragma once

#include "ipc/channel_names.h"
#include "ipc/kernel_handle.h"
#include "ipc/ring_layout.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

class CIpcBase {
public:
    explicit CIpcBase(ChannelNames names = {}) : m_names(std::move(names)) {}
    virtual ~CIpcBase();
    CIpcBase(const CIpcBase&) = delete;
    CIpcBase& operator=(const CIpcBase&) = delete;

    // Maps the view of the block (the mapping must exist) and creates or
    // opens the events.
    virtual bool Open();
    // Releases everything; safe to call again.
    virtual void Close();
    // The watchdog's periodic check.
    virtual void CheckClients() {}

    DWORD LastError() const { return m_lastError; }
    LONG OpenClientCount() const { return m_openClients.load(); }
    ring::Block* Block() const { return static_cast<ring::Block*>(m_view.Get()); }

protected:
    // Lowers the open-client count by `count`, never below 0, and returns the
    // new value.
    LONG LowerClientCount(LONG count);

    const ChannelNames m_names;
    DWORD m_lastError = 0;
    CKernelHandle m_mapping;
    CMappedView m_view;
    std::atomic<HANDLE> m_watchdogThread{nullptr};
    CKernelHandle m_dataAvailable;
    CKernelHandle m_queueFree;
    std::atomic<LONG> m_openClients{0};
    CKernelHandle m_stopEvent;
    DWORD m_watchdogInterval = 8000;
    // Set while a watchdog thread runs (or has been decided to run); the
    // thread handle alone cannot tell, because the thread clears it itself.
    std::atomic<bool> m_watchdogRunning{false};
};
