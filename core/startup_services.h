// The process-wide services that start-up creates after the settings and the
// language table, and that shutdown releases first, in reverse order.
#pragma once

#include <optional>

class StartupServices {
public:
    StartupServices() = default;
    StartupServices(const StartupServices&) = delete;
    StartupServices& operator=(const StartupServices&) = delete;
    ~StartupServices() { Shutdown(); }

    // The update checker, for the endpoint under the configured server; not started here.
    void CreateUpdateChecker();
    // Driver presence check; an exit code when start-up must end here.
    std::optional<int> CheckDriver();
    // The synthesis engine with its ports; false after telling the user.
    bool StartEngine();
    // The shared-memory channel and its listen thread; false after telling the user.
    bool StartChannel();
    // Channel server, then engine, then update checker. Safe to call twice.
    void Shutdown();
};

// Ends start-up before the application object exists: releases the settings,
// the language table and the mutex, and returns `exitCode`.
int ShutdownEarly(int exitCode);
