#include "core/startup_services.h"

#include "configurator/update_checker.h"
#include "core/driver_check.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/resident_windows.h"
#include "core/settings.h"
#include "ipc/ipc_server.h"
#include "synth/synth_engine.h"

void StartupServices::CreateUpdateChecker()
{
    g_UpdateChecker = new CUpdateChecker(*g_Settings, UpdateEndpoint(*g_Settings), kUpdateSoftwareName, kCurrentVersion);
    InstallStartupUpdateCheck();
}

std::optional<int> StartupServices::CheckDriver() { return CheckDriverAtStartup(); }

bool StartupServices::StartEngine()
{
    g_Engine = new SynthEngine();
    if (!g_Engine->Initialize()) {
        ShowMessage(L"Error initializing BASS libraries, aborting", MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

bool StartupServices::StartChannel()
{
    // The server reads WatchdogTimeout itself when it is created.
    g_Ipc = new CIpcServer();
    if (!g_Ipc->Open()) {
        ShowMessage(L"Error initializing IPC channel, aborting", MB_OK | MB_ICONERROR);
        return false;
    }
    if (!g_Ipc->StartListening()) {
        ShowMessage(L"Error start listening IPC channel, aborting", MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

void StartupServices::Shutdown()
{
    // The listen thread stops before any port goes, so no entry reaches a
    // destroyed port.
    if (g_Ipc) {
        g_Ipc->Close();
        delete g_Ipc;
        g_Ipc = nullptr;
    }
    if (g_Engine) {
        g_Engine->Shutdown();
        g_Engine->DestroyPorts();
        delete g_Engine;
        g_Engine = nullptr;
    }
    // A check still running is cancelled; its result goes nowhere.
    delete g_UpdateChecker;
    g_UpdateChecker = nullptr;
}

int ShutdownEarly(int exitCode)
{
    delete g_Settings;
    g_Settings = nullptr;
    UnloadLanguage();
    CloseSingleInstanceMutex();
    return exitCode;
}
