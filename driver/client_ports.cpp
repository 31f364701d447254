#include "driver/client_ports.h"

#include "driver/driver_config.h"
#include "driver/owner_lock.h"
#include "driver/shared_channel.h"

#include <atomic>

namespace {

// Every lock here is owned by a thread and waited for with the call's
// deadline: a thread of the program suspended or killed while holding one
// (mid-SysEx) costs the others an error, never a hang.
struct PortState {
    COwnerLock lock;  // opens, and the entries that depend on them
    LONG opens = 0;
    DWORD volume = 0xFFFFFFFF;
};

PortState g_ports[kDriverMaxPorts];
COwnerLock g_keepAliveLock;        // starting and ending the keep-alive thread
std::atomic<LONG> g_totalOpens{0};
bool g_keepAliveRunning = false;  // under g_keepAliveLock
HANDLE g_keepAliveWake = nullptr;

void KeepAliveRound()
{
    CRingWriter* writer = Channel().Writer();
    for (DWORD port = 0; port < kDriverMaxPorts && writer; ++port) {
        const driverlock::Deadline deadline;
        COwnerGuard guard(g_ports[port].lock, deadline);
        if (guard && g_ports[port].opens > 0)
            writer->Write(deadline, port, ring::kOpen);
    }
}

DWORD WINAPI KeepAliveThread(void* module)
{
    for (;;) {
        if (WaitForSingleObject(g_keepAliveWake, kKeepAliveMs) == WAIT_TIMEOUT)
            KeepAliveRound();
        COwnerGuard guard(g_keepAliveLock, driverlock::Deadline());
        if (guard && g_totalOpens == 0) {
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
    // Counted whatever happens: the count must match the ports.
    const LONG total = g_totalOpens.fetch_add(change) + change;
    // The keep-alive thread is a convenience: when another thread holds its
    // lock past the deadline, the next open starts it.
    COwnerGuard guard(g_keepAliveLock, driverlock::Deadline());
    if (!guard)
        return;
    if (total == 0 && g_keepAliveWake) {
        SetEvent(g_keepAliveWake);
        return;
    }
    if (total <= 0 || g_keepAliveRunning)
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
        const driverlock::Deadline deadline;
        COwnerGuard guard(g_ports[port].lock, deadline);
        if (!guard || (g_ports[port].opens == 0 && !writer->Write(deadline, port, ring::kOpen)))
            return false;
        ++g_ports[port].opens;
    }
    CountOpen(+1);
    return true;
}

bool CloseClientPort(DWORD port)
{
    if (port >= kDriverMaxPorts)
        return false;
    {
        const driverlock::Deadline deadline;
        COwnerGuard guard(g_ports[port].lock, deadline);
        if (!guard)
            return false;
        if (g_ports[port].opens == 0)
            return true;
        // The port closes in this program even when the entry cannot be
        // written: the synth's watchdog then closes the stream.
        if (--g_ports[port].opens == 0) {
            if (CRingWriter* writer = Channel().Writer())
                writer->Write(deadline, port, ring::kClose);
        }
    }
    CountOpen(-1);
    return true;
}

bool SendLongMessage(DWORD port, const uint8_t* bytes, DWORD length)
{
    CRingWriter* writer = Channel().Writer();
    if (!writer || port >= kDriverMaxPorts)
        return false;
    const driverlock::Deadline deadline;
    COwnerGuard guard(g_ports[port].lock, deadline);
    return guard && writer->WriteLong(port, bytes, length, deadline);
}

DWORD PortVolume(DWORD port) { return port < kDriverMaxPorts ? g_ports[port].volume : 0; }

void SetPortVolume(DWORD port, DWORD volume)
{
    if (port < kDriverMaxPorts)
        g_ports[port].volume = volume;
}

LONG OpenPortCount() { return g_totalOpens.load(); }
