#include "ipc/engine_directory.h"

#include "core/settings.h"
#include "ipc/ipc_server.h"
#include "synth/synth_engine.h"

#include <algorithm>

IClientDirectory& EngineDirectory()
{
    static CEngineDirectory directory;
    return directory;
}

// Here rather than with the rest of the server, so the server's tests link
// without the engine.
CIpcServer::CIpcServer() : CIpcServer(EngineDirectory(), g_Settings->WatchdogTimeout.Get()) {}

namespace {
CMidiDevice* PortAt(DWORD port) { return g_Engine ? g_Engine->Port(port) : nullptr; }
}  // namespace

DWORD CEngineDirectory::PortLimit()
{
    if (!g_Engine || !g_Settings)
        return 0;
    return std::min(g_Settings->DevicesCount.Get(), g_Engine->PortCount());
}

std::wstring CEngineDirectory::PortName(DWORD port) { return ::PortName(port); }

bool CEngineDirectory::Deliver(DWORD port, DWORD processId, const ClientCall& call)
{
    CMidiDevice* device = PortAt(port);
    return device && device->WithClient(processId, [&](ClientStream& client) {
        client.MessageCounter.fetch_add(1, std::memory_order_relaxed);
        client.Take(call);
    });
}

void CEngineDirectory::Open(DWORD port, DWORD processId)
{
    if (CMidiDevice* device = PortAt(port)) {
        if (ClientStream* client = device->OpenClient(processId))
            client->MessageCounter.fetch_add(1, std::memory_order_relaxed);
    }
}

bool CEngineDirectory::Close(DWORD port, DWORD processId)
{
    // Only the close that removed the record counts: the listen thread and
    // the watchdog may close the same client at once.
    CMidiDevice* device = PortAt(port);
    return device && device->CloseClient(processId);
}

size_t CEngineDirectory::ClientCount(DWORD port)
{
    CMidiDevice* device = PortAt(port);
    return device ? device->ClientCount() : 0;
}

void CEngineDirectory::ForEachCounter(DWORD port, const std::function<void(DWORD, std::atomic<uint32_t>&)>& visit)
{
    if (CMidiDevice* device = PortAt(port))
        device->ForEachClient([&](ClientStream& client) { visit(client.ProcessId, client.MessageCounter); });
}

void CEngineDirectory::ForEachClient(DWORD port, bool withFigures, const std::function<void(const ClientInfo&)>& visit)
{
    CMidiDevice* device = PortAt(port);
    if (!device)
        return;
    device->ForEachClient([&](ClientStream& client) {
        ClientInfo info;
        info.processId = client.ProcessId;
        info.executablePath = client.ExecutablePath();
        if (withFigures) {
            info.voices = client.ActiveVoices();
            info.renderingPercent = client.RenderingTime();
            info.updatePeriodMs = client.UpdatePeriodMs();
        }
        visit(info);
    });
}
