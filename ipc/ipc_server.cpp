#include "ipc/ipc_server.h"

#include "core/language.h"
#include "core/message_box.h"
#include "core/system_error.h"

#include <algorithm>
#include <cstring>

CIpcServer* g_Ipc = nullptr;

CIpcServer::CIpcServer(IClientDirectory& directory, DWORD watchdogIntervalMs, ChannelNames names)
    : CIpcBase(std::move(names)), m_directory(directory)
{
    m_watchdogInterval = watchdogIntervalMs;
}

CIpcServer::~CIpcServer() { Close(); }

bool CIpcServer::Open()
{
    Close();
    m_shuttingDown.store(false);

    // The listen thread owns this mutex while it drains the ring; clients
    // ask it whether a synth listens. A previous synth (the one a restart
    // replaces) may still drain the block: it is re-initialised only after
    // that reader let go.
    HANDLE listener = CreateMutexW(nullptr, FALSE, m_names.listener.c_str());
    if (!listener) {
        m_lastError = GetLastError();
        return false;
    }
    m_listener.Reset(listener);
    const DWORD waited = WaitForSingleObject(listener, kPreviousReaderWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        m_lastError = waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError();
        m_listener.Reset();
        return false;
    }
    ReleaseMutex(listener);

    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, ring::kBlockSize, m_names.sharedMem.c_str());
    if (!mapping) {
        m_lastError = GetLastError();
        if (m_lastError == ERROR_ALREADY_EXISTS)
            ShowMessage(GetText(L"err.fileMappingCreate", FormatSystemError(m_lastError)), MB_OK | MB_ICONERROR | MB_TOPMOST);
        return false;
    }
    m_mapping.Reset(mapping);
    if (!CIpcBase::Open())
        return false;

    // Whether this process created the block or a client did, it starts
    // afresh: whatever an earlier synth left in it is dropped.
    ring::Block* block = Block();
    block->blockSize = ring::kBlockSize;
    std::memset(block->version, 0, sizeof block->version);
    std::memcpy(block->version, ring::kVersion, std::min(sizeof ring::kVersion, sizeof block->version - 1));
    LinkRing();
    ring::Shared(block->readIndex).store(0);
    ring::Shared(block->writeIndex).store(0);
    ring::Shared(block->waitingIndex).store(0);

    m_control = block;
    return true;
}

void CIpcServer::LinkRing()
{
    ring::Entry* entries = Block()->entries;
    for (uint32_t i = 0; i < ring::kEntryCount; ++i) {
        entries[i].next = (i + 1) % ring::kEntryCount;
        entries[i].previous = (i + ring::kEntryCount - 1) % ring::kEntryCount;
    }
}

void CIpcServer::Close()
{
    // Joined, not waited for with a time-out: the block, the events and the
    // ports the threads use go away right after this.
    m_stopFlag.store(1);
    if (m_listenThread) {
        WaitForSingleObject(m_listenThread.Get(), INFINITE);
        m_listenThread.Reset();
    }
    StopWatchdog();
    CIpcBase::Close();
    m_listener.Reset();
    m_control = nullptr;
    m_reader.Attach(nullptr);
}

bool CIpcServer::StartListening()
{
    if (!m_control)
        return false;
    // Lowered here rather than by the thread itself, so a Close that comes
    // before the thread first runs still stops it.
    m_stopFlag.store(0);
    HANDLE thread = CreateThread(nullptr, 0, ListenThreadProc, this, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        m_lastError = GetLastError();
        ShowMessage(GetText(L"err.listenThread", FormatSystemError(m_lastError)), MB_OK | MB_ICONERROR | MB_TOPMOST);
        return false;
    }
    SetThreadAffinityMask(thread, 1);
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    m_listenThread.Reset(thread);
    ResumeThread(thread);
    return true;
}

DWORD WINAPI CIpcServer::ListenThreadProc(void* self)
{
    static_cast<CIpcServer*>(self)->Listen();
    return 0;
}

void CIpcServer::Listen()
{
    // Owned for as long as this thread drains the ring. Only a client's
    // brief look can hold it up.
    HANDLE listener = m_listener.Get();
    for (;;) {
        const DWORD waited = WaitForSingleObject(listener, 5);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
            break;
        if (waited == WAIT_FAILED || m_stopFlag.load(std::memory_order_relaxed))
            return;
    }
    ring::Shared(m_control->listening).store(1);
    m_reader.Attach(m_control);
    ring::Entry entry;
    while (!m_stopFlag.load(std::memory_order_relaxed)) {
        if (!m_reader.Take(entry)) {
            if (!m_reader.PollBriefly())
                WaitForSingleObject(m_dataAvailable.Get(), 5);
            continue;
        }
        try {
            HandleEntry(entry);
        } catch (...) {
            // A port that failed (out of memory opening a stream) loses this
            // entry; the ring goes on.
        }
        if (m_reader.Advance(entry))
            SetEvent(m_queueFree.Get());
    }
    // Clients that look at the block from now on see that nobody drains it.
    ring::Shared(m_control->listening).store(0);
    ReleaseMutex(listener);
}


void CIpcServer::HandleEntry(const ring::Entry& entry)
{
    if (entry.port >= m_directory.PortLimit())
        return;
    switch (entry.type) {
    case ring::kClose:
        if (m_directory.Close(entry.port, entry.client))
            ClientsClosed(1);
        break;
    case ring::kOpen:
        if (!m_directory.Deliver(entry.port, entry.client, ClientCall{})) {
            m_directory.Open(entry.port, entry.client);
            ClientOpened();
        }
        break;
    default:
        m_directory.Deliver(entry.port, entry.client, CallFor(entry));
        break;
    }
}

void CIpcServer::ClientOpened()
{
    if (m_openClients.fetch_add(1) + 1 >= 1 && !m_watchdogRunning.load())
        StartWatchdog();
}

void CIpcServer::ClientsClosed(LONG count)
{
    if (LowerClientCount(count) == 0 && m_watchdogRunning.load())
        SetEvent(m_stopEvent.Get());
}
