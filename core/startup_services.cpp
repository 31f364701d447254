#include "core/startup_services.h"

#include "core/language.h"
#include "core/resident_windows.h"
#include "core/settings.h"

std::optional<int> StartupServices::CheckDriver()
{
    // Driver registration is not part of this build (see RunDriverInstaller);
    // the synth runs whether or not a driver is registered.
    return std::nullopt;
}

bool StartupServices::StartEngine() { return true; }

bool StartupServices::StartChannel() { return true; }

void StartupServices::Shutdown() {}

int ShutdownEarly(int exitCode)
{
    delete g_Settings;
    g_Settings = nullptr;
    UnloadLanguage();
    CloseSingleInstanceMutex();
    return exitCode;
}
