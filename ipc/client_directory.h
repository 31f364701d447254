// What the channel server needs of the ports and their client streams. The
// program hands it the engine's ports (ipc/engine_directory.cpp); tests hand
// it a fake, so the ring and watchdog rules run without a synthesizer.
#pragma once

#include "ipc/client_call.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

struct ClientInfo {
    DWORD processId = 0;
    std::wstring executablePath;
    // Only filled when asked for (they cost calls into the audio library);
    // 0 for a client without a stream.
    DWORD voices = 0;
    DWORD renderingPercent = 0;
    DWORD updatePeriodMs = 0;
};

class IClientDirectory {
public:
    virtual ~IClientDirectory() = default;

    // Ports below this number take entries: DevicesCount, as far as the
    // ports exist.
    virtual DWORD PortLimit() = 0;
    virtual std::wstring PortName(DWORD port) = 0;

    // For a client open on `port`: raises its message counter, then performs
    // `call`. False when the port has no client with that process id.
    // Called by the listen thread; must not wait for long.
    virtual bool Deliver(DWORD port, DWORD processId, const ClientCall& call) = 0;
    // Opens a client stream for the process; its message counter starts at 1.
    virtual void Open(DWORD port, DWORD processId) = 0;
    // Destroys the client's stream; false when there was none.
    virtual bool Close(DWORD port, DWORD processId) = 0;

    virtual size_t ClientCount(DWORD port) = 0;
    // Visits the clients of a port in process-id order with their message
    // counters (the watchdog reads and clears them).
    virtual void ForEachCounter(DWORD port, const std::function<void(DWORD processId, std::atomic<uint32_t>& counter)>& visit) = 0;
    virtual void ForEachClient(DWORD port, bool withFigures, const std::function<void(const ClientInfo&)>& visit) = 0;
};
