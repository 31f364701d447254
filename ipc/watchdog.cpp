// The watchdog: runs while clients are open and closes the streams of
// programs that stopped sending (crashed or killed without closing).
#include "ipc/ipc_server.h"

#include "core/message_box.h"
#include "core/system_error.h"

void CIpcServer::StartWatchdog()
{
    // Whoever flips the flag starts the thread; a watchdog about to end sees
    // the flag taken and leaves, or takes it back and stays.
    if (m_watchdogRunning.exchange(true))
        return;
    ResetEvent(m_stopEvent.Get());
    m_watchdogThreads.fetch_add(1);
    HANDLE thread = CreateThread(nullptr, 0, WatchdogThreadProc, this, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        DWORD code = GetLastError();
        m_watchdogThreads.fetch_sub(1);
        m_watchdogRunning.store(false);
        // Started by the listen thread, which must not wait for the user.
        ShowMessageLater(L"Can't start watchdog thread.\n\nError: " + FormatSystemError(code), MB_OK | MB_ICONERROR | MB_TOPMOST);
        return;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
    if (HANDLE previous = m_watchdogThread.exchange(thread))
        CloseHandle(previous);
    ResumeThread(thread);
}

DWORD WINAPI CIpcServer::WatchdogThreadProc(void* self)
{
    auto* server = static_cast<CIpcServer*>(self);
    try {
        server->RunWatchdog();
    } catch (...) {
        server->m_watchdogRunning.store(false);
    }
    // The last touch of the server: Close waits for this count to reach 0.
    server->m_watchdogThreads.fetch_sub(1);
    return 0;
}

void CIpcServer::RunWatchdog()
{
    for (;;) {
        DWORD waited = WaitForSingleObject(m_stopEvent.Get(), m_watchdogInterval);
        if (waited == WAIT_TIMEOUT) {
            CheckClients();
            continue;
        }
        if (m_shuttingDown.load() || waited != WAIT_OBJECT_0)
            return;
        ResetEvent(m_stopEvent.Get());
        // The stop may have been overtaken by a new open.
        if (m_openClients.load() > 0)
            continue;
        if (HANDLE own = m_watchdogThread.exchange(nullptr))
            CloseHandle(own);
        m_watchdogRunning.store(false);
        // An open between the check above and the flag going down found the
        // flag still raised and started nothing: keep watching for it.
        if (m_openClients.load() > 0 && !m_watchdogRunning.exchange(true))
            continue;
        return;
    }
}

void CIpcServer::StopWatchdog()
{
    // The thread is joined: it may be in the middle of a sweep that closes
    // clients, and the ports and this server go away after it.
    m_shuttingDown.store(true);
    if (m_stopEvent)
        SetEvent(m_stopEvent.Get());
    if (HANDLE thread = m_watchdogThread.exchange(nullptr)) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    // A thread that already let go of its handle is on its way out; its
    // last touch of the server is the count.
    while (m_watchdogThreads.load() > 0)
        Sleep(1);
    m_watchdogRunning.store(false);
}

void CIpcServer::CheckClients()
{
    DWORD limit = m_directory.PortLimit();
    m_silent.clear();
    for (DWORD port = 0; port < limit; ++port) {
        if (m_directory.ClientCount(port) == 0)
            continue;
        m_directory.ForEachCounter(port, [&](DWORD processId, std::atomic<uint32_t>& counter) {
            // One exchange, so an entry counted meanwhile is not wiped out.
            if (counter.exchange(0) == 0)
                m_silent.emplace_back(port, processId);
        });
    }
    LONG closed = 0;
    for (auto [port, processId] : m_silent)
        closed += m_directory.Close(port, processId) ? 1 : 0;
    m_silent.clear();
    if (closed > 0)
        ClientsClosed(closed);
}
