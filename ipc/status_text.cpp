// Who uses which port, for the debug report and for the question asked
// before the synth restarts or exits while programs still play.
#include "ipc/ipc_server.h"

#include "core/language.h"
#include "core/message_box.h"

#include <cwchar>

namespace {
std::wstring ClientLines(const ClientInfo& client, bool includeFigures)
{
    wchar_t line[400];
    std::swprintf(line, std::size(line), L"* %ls (#%lu)\r\n", client.executablePath.c_str(), client.processId);
    std::wstring text = line;
    if (includeFigures) {
        std::swprintf(line, std::size(line), L"  voices: %3lu, rendering time%%: %2lu%%, update rate (ms): %2lu\r\n",
                      client.voices, client.renderingPercent, client.updatePeriodMs);
        text += line;
    }
    return text;
}
}  // namespace

void CIpcServer::GetStatusText(std::wstring& text, bool includeFreePorts, bool includeFigures)
{
    DWORD limit = m_directory.PortLimit();
    for (DWORD port = 0; port < limit; ++port) {
        // Gathered in one walk: a client may leave between a count and a walk.
        std::wstring clients;
        m_directory.ForEachClient(port, includeFigures, [&](const ClientInfo& client) { clients += ClientLines(client, includeFigures); });
        if (clients.empty() && !includeFreePorts)
            continue;
        text += L"=== " + m_directory.PortName(port) + L" ===\r\n";
        text += clients.empty() ? std::wstring(L"* <free>\r\n") : clients;
    }
}

int CIpcServer::CheckOpenPorts()
{
    size_t clients = 0;
    DWORD limit = m_directory.PortLimit();
    for (DWORD port = 0; port < limit; ++port)
        clients += m_directory.ClientCount(port);
    if (clients == 0)
        return IDCONTINUE;

    std::wstring status;
    GetStatusText(status, false, false);
    return ShowMessage(GetText(L"warn.openDevices", status), MB_CANCELTRYCONTINUE | MB_ICONWARNING | MB_TOPMOST);
}
