#include "install/driver_setup.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "install/default_device.h"
#include "install/drivers32.h"
#include "install/media_device.h"

namespace {

// -1: ask the system; 0/1: the answer a test gave.
std::atomic<int> g_windows64ForTests{-1};

// The views to write, the native one of the running build last: the device
// names the slot chosen in the last one.
std::vector<RegistryView> Views()
{
    if (!IsWindows64())
        return {RegistryView::X86};
    return {RegistryView::X86, RegistryView::X64};
}

} // namespace

bool IsWindows64()
{
    if (int forced = g_windows64ForTests.load(); forced >= 0)
        return forced != 0;
#ifdef _WIN64
    return true;
#else
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

void SetWindows64ForTests(std::optional<bool> value) { g_windows64ForTests = value ? (*value ? 1 : 0) : -1; }

bool InstallDriver()
{
    const std::vector<RegistryView> views = Views();
    for (RegistryView view : views)
        if (!RemoveDriverSlots(view))
            return false;
    RemoveMediaDevices();
    std::wstring slot;
    for (RegistryView view : views) {
        std::optional<std::wstring> chosen = WriteDriverSlot(view);
        if (!chosen)
            return false;
        slot = *chosen;
    }
    return CreateMediaDevice(slot);
}

bool UninstallDriver(bool full)
{
    const std::vector<RegistryView> views = Views();
    for (RegistryView view : views)
        if (!RemoveDriverSlots(view))
            return false;
    if (full)
        ResetDefaultMidiDevices(views.size() > 1);
    RemoveMediaDevices();
    return true;
}

DriverState QueryDriverState()
{
    const std::vector<RegistryView> views = Views();
    bool anySlot = false, everySlot = true;
    std::vector<std::wstring> lastSlots;
    for (RegistryView view : views) {
        lastSlots = FindDriverSlots(view);
        anySlot |= !lastSlots.empty();
        everySlot &= !lastSlots.empty();
    }
    if (!anySlot)
        return DriverState::Missing;
    if (!everySlot)
        return DriverState::Damaged;
    const MediaDeviceInfo devices = QueryMediaDevices();
    if (devices.count != 1 || std::find(lastSlots.begin(), lastSlots.end(), devices.alias) == lastSlots.end())
        return DriverState::Damaged;
    return DriverState::Installed;
}
