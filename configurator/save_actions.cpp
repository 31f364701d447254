#include "configurator/save_actions.h"

#include "core/app.h"
#include "core/language.h"
#include "synth/synth_engine.h"

ConfiguratorSaveActions DefaultSaveActions()
{
    ConfiguratorSaveActions actions;
    actions.restartSynth = [] { return RestartSynth(); };
    actions.allPortsHaveSoundFonts = [] { return !g_Engine || g_Engine->AllPortsHaveSoundFonts(); };
    actions.reportMissingSoundFonts = [] {
        // The tray's error balloon "err.noSoundfont" goes here once the tray shows balloons.
    };
    actions.reloadEngine = [] {
        if (g_Engine && g_Engine->IsInitialized())
            g_Engine->Reload();
    };
    actions.registerHotkeys = [] {
        // The tray's hotkey registration goes here once the tray registers hotkeys.
    };
    actions.applyVuMeter = [] {
        // Open mixer windows take up "DisableVUMeter" here once the mixer window exists.
    };
    actions.reloadLanguage = [] { LoadLanguage(); };
    return actions;
}

ConfiguratorSaveActions& SaveActions()
{
    static ConfiguratorSaveActions actions = DefaultSaveActions();
    return actions;
}
