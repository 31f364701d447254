#include "driver/client_ports.h"

#include "driver/driver_config.h"
#include "driver/shared_channel.h"

namespace {

struct PortState {
    SRWLOCK lock = SRWLOCK_INIT;  // opens, and the entries that depend on them
    LONG opens = 0;
    DWORD volume = 0xFFFFFFFF;
};

PortState g_ports[kDriverMaxPorts];
SRWLOCK g_keepAliveLock = SRWLOCK_INIT;
LONG g_totalOpens = 0;  // under g_keepAliveLock
bool g_keepAliveRunning = false;
HANDLE g_keepAliveWake = nullptr;

class CExclusive {
public:
    explicit CExclusive(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~CExclusive() { ReleaseSRWLockExclusive(&m_lock); }
    CExclusive(const CExclusive&) = delete;
    CExclusive& operator=(const CExclusive&) = delete;

private:
    SRWLOCK& m_lock;
};

void KeepAliveRound()
{
    CRingWriter* writer = Channel().Writer();
    for (DWORD port = 0; port < kDriverMaxPorts && writer; ++port) {
        CExclusive guard(g_ports[port].lock);
        if (g_ports[port].opens > 0)
            writer->Write(port, ring::kOpen);
    }
}

DWORD WINAPI KeepAliveThread(void* module)
{
    for (;;) {
        if (WaitForSingleObject(g_keepAliveWake, kKeepAliveMs) == WAIT_TIMEOUT)
            KeepAliveRound();
        CExclusive guard(g_keepAliveLock);
        if (g_totalOpens == 0) {
            g_keepAliveRunning = false;
            break;
        }
    }
    // The thread holds a reference on the driver so winmm cannot unload it
    // under the thread; it lets go only on its way out.
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

void CountOpen(LONG change)
{
    CExclusive guard(g_keepAliveLock);
    g_totalOpens += change;
    if (g_totalOpens == 0 && g_keepAliveWake) {
        SetEvent(g_keepAliveWake);
        return;
    }
    if (g_totalOpens <= 0 || g_keepAliveRunning)
        return;
    if (!g_keepAliveWake)
        g_keepAliveWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HMODULE module = nullptr;
    if (!g_keepAliveWake ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&KeepAliveThread), &module))
        return;
    if (HANDLE thread = CreateThread(nullptr, 0, KeepAliveThread, module, 0, nullptr)) {
        g_keepAliveRunning = true;
        CloseHandle(thread);
    } else {
        FreeLibrary(module);
    }
}

}  // namespace

bool OpenClientPort(DWORD port)
{
    CRingWriter* writer = Channel().Writer();
    if (!writer || port >= kDriverMaxPorts)
        return false;
    {
        CExclusive guard(g_ports[port].lock);
        if (g_ports[port].opens == 0 && !writer->Write(port, ring::kOpen))
            return false;
        ++g_ports[port].opens;
    }
    CountOpen(+1);
    return true;
}

void CloseClientPort(DWORD port)
{
    if (port >= kDriverMaxPorts)
        return;
    {
        CExclusive guard(g_ports[port].lock);
        if (g_ports[port].opens == 0)
            return;
        if (--g_ports[port].opens == 0) {
            if (CRingWriter* writer = Channel().Writer())
                writer->Write(port, ring::kClose);
        }
    }
    CountOpen(-1);
}

bool SendLongMessage(DWORD port, const uint8_t* bytes, DWORD length)
{
    CRingWriter* writer = Channel().Writer();
    if (!writer || port >= kDriverMaxPorts)
        return false;
    CExclusive guard(g_ports[port].lock);
    return writer->WriteLong(port, bytes, length);
}

DWORD PortVolume(DWORD port) { return port < kDriverMaxPorts ? g_ports[port].volume : 0; }

void SetPortVolume(DWORD port, DWORD volume)
{
    if (port < kDriverMaxPorts)
        g_ports[port].volume = volume;
}

LONG OpenPortCount()
{
    CExclusive guard(g_keepAliveLock);
    return g_totalOpens;
}
