// The channel server's view of the engine's ports (g_Engine), the program's
// implementation of IClientDirectory.
#pragma once

#include "ipc/client_directory.h"

class CEngineDirectory : public IClientDirectory {
public:
    DWORD PortLimit() override;
    std::wstring PortName(DWORD port) override;
    bool Deliver(DWORD port, DWORD processId, const ClientCall& call) override;
    void Open(DWORD port, DWORD processId) override;
    bool Close(DWORD port, DWORD processId) override;
    size_t ClientCount(DWORD port) override;
    void ForEachCounter(DWORD port, const std::function<void(DWORD, std::atomic<uint32_t>&)>& visit) override;
    void ForEachClient(DWORD port, bool withFigures, const std::function<void(const ClientInfo&)>& visit) override;
};

IClientDirectory& EngineDirectory();
