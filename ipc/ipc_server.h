// The synth's end of the driver channel: initialises the shared block, drains
// the ring on the listen thread, closes silent clients on the watchdog thread
// and describes who uses which port.
#pragma once

#include "ipc/client_directory.h"
#include "ipc/ipc_base.h"
#include "ipc/ring_reader.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

class CIpcServer : public CIpcBase {
public:
    // The program's server: the engine's ports, WatchdogTimeout from the settings.
    CIpcServer();
    CIpcServer(IClientDirectory& directory, DWORD watchdogIntervalMs, ChannelNames names = {});
    ~CIpcServer() override;

    bool Open() override;
    void Close() override;
    void CheckClients() override;

    bool StartListening();

    // Appends one block per port: its name, then its clients (or "<free>").
    void GetStatusText(std::wstring& text, bool includeFreePorts, bool includeFigures);
    // IDCONTINUE at once without clients; otherwise asks the user, who may
    // answer IDCONTINUE, IDTRYAGAIN or IDCANCEL.
    int CheckOpenPorts();

    bool WatchdogRunning() const { return m_watchdogRunning.load(); }

private:
    static DWORD WINAPI ListenThreadProc(void* self);
    static DWORD WINAPI WatchdogThreadProc(void* self);
    void Listen();
    void HandleEntry(const ring::Entry& entry);
    void ClientOpened();
    void ClientsClosed(LONG count);
    void StartWatchdog();
    void RunWatchdog();
    void StopWatchdog();
    void LinkRing();

    IClientDirectory& m_directory;
    CKernelHandle m_listenThread;
    std::atomic<DWORD> m_stopFlag{0};
    ring::Block* m_control = nullptr;  // the block; the control area starts 32 bytes in
    std::vector<std::pair<DWORD, DWORD>> m_silent;  // (port, process id), within one sweep

    // How long Open waits for the reader of a previous synth (a restart) to stop.
    static constexpr DWORD kPreviousReaderWaitMs = 15000;
    // Owned by the listen thread while it runs (ring::kListenerName).
    CKernelHandle m_listener;

    CRingReader m_reader;
    std::atomic<bool> m_shuttingDown{false};
    // Watchdog threads still inside their procedure; Close waits for none.
    std::atomic<int> m_watchdogThreads{0};
};

extern CIpcServer* g_Ipc;
