// Process entry of Tessaline.exe: the driver installer and remover, and the
// resident synth with its windows. Start-up and shutdown run in a fixed order
// on this thread; every start-up failure ends the process with exit code 1.
#include <windows.h>

#include <memory>

#include "core/app.h"
#include "core/command_line.h"
#include "core/dpi.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/resident_windows.h"
#include "core/settings.h"
#include "core/single_instance.h"
#include "core/startup_services.h"
#include "core/timer_resolution.h"
#include "install/driver_setup.h"
#include "ui/deferred_delete.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // 1. Tokenize the command line.
    const std::wstring commandLine = ::GetCommandLineW();
    const ArgumentList args = TokenizeCommandLine(commandLine);

    // 2, 3. Installer and remover end the process; "--install" wins.
    if (HasSwitch(args, kSwitchInstall))
        return InstallDriver() ? 0 : 1;
    if (HasSwitch(args, kSwitchUninstall))
        return UninstallDriver(true) ? 0 : 1;

    // 4. Single-instance gate.
    switch (PassSingleInstanceGate(commandLine)) {
    case GateResult::HandedOver: return 0;
    case GateResult::InstanceNotFound:
    case GateResult::Failed: return 1;
    case GateResult::FirstInstance: break;
    }

    // 5. Real-time priority class (the system grants high where real-time is not allowed).
    ::SetPriorityClass(::GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    // A 1 ms timer for the whole run.
    const TimerResolution timer;

    // 6. DPI function table.
    ResolveDpiFunctions();

    // 7. Settings store; it has already told the user when it could not load.
    g_Settings = new CSettings();
    if (!g_Settings->Loaded()) {
        delete g_Settings;
        g_Settings = nullptr;
        CloseSingleInstanceMutex();
        return 1;
    }

    // 8. Language table.
    LoadLanguage();

    // 9, 10. Update checker and the driver presence check.
    StartupServices services;
    services.CreateUpdateChecker();
    if (auto exitCode = services.CheckDriver())
        return ShutdownEarly(*exitCode);

    // 11. Application object and the shell's restart message.
    auto app = std::make_unique<CMainApp>(commandLine);
    CSystray::SetTaskbarCreatedMessage(::RegisterWindowMessageW(L"TaskbarCreated"));

    // 12, 13. Synthesis engine and the channel server.
    if (!services.StartEngine() || !services.StartChannel()) {
        // These failures skip the orderly shutdown: only the application
        // object goes, and the process ends at once.
        app.reset();
        ::ExitProcess(1);
    }

    // 14. The windows the command line asks for (no default here).
    OpenRequestedWindows(args, false);

    // 15, 16. Tray window, then the message loop.
    const int exitCode = app->Run();
    // Windows destroyed in the last turn of the loop never reached the tray.
    DeleteAllPendingWindows();

    // Shutdown 1-3: channel server, engine, update checker.
    services.Shutdown();
    // 4. Settings store (everything was written when it was set).
    delete g_Settings;
    g_Settings = nullptr;
    // 5. Language table.
    UnloadLanguage();
    // 6. Single-instance mutex.
    CloseSingleInstanceMutex();
    // 7. Application object (its tray window goes with it).
    app.reset();
    return exitCode;
}
