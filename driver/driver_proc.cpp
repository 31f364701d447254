// The installable-driver entry point: winmm's load, open and configure calls.
#include "driver/client_ports.h"
#include "driver/driver_config.h"
#include "driver/exports.h"
#include "driver/shared_channel.h"

#include <windows.h>
#include <mmsystem.h>

namespace {

// "Configure" in the multimedia control panel opens the synth's configurator.
LRESULT Configure()
{
    std::wstring folder = InstallationFolder();
    if (folder.empty())
        return DRVCNF_CANCEL;
    std::wstring command = L"\"" + folder + L"\\Tessaline.exe\" --configurator";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
        return DRVCNF_CANCEL;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return DRVCNF_OK;
}

}  // namespace

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2)
{
    switch (message) {
    case DRV_LOAD:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_CLOSE:
        return 1;
    case DRV_OPEN:
        return 1;  // any non-zero id: the driver keeps no per-open state here
    case DRV_FREE:
        // The block is let go once no port is open; a later load connects again.
        if (OpenPortCount() == 0)
            Channel().Disconnect();
        return 1;
    case DRV_INSTALL:
    case DRV_REMOVE:
        return DRVCNF_OK;
    case DRV_QUERYCONFIGURE:
        return InstallationFolder().empty() ? 0 : 1;
    case DRV_CONFIGURE:
        return Configure();
    default:
        return DefDriverProc(driverId, driver, message, param1, param2);
    }
}
