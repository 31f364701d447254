#include "configurator/save_actions.h"

#include "core/app.h"
#include "core/language.h"
#include "mixer/mixer_dialog.h"
#include "synth/synth_engine.h"

ConfiguratorSaveActions DefaultSaveActions()
{
    ConfiguratorSaveActions actions;
    actions.restartSynth = [] { return RestartSynth(); };
    actions.allPortsHaveSoundFonts = [] { return !g_Engine || g_Engine->AllPortsHaveSoundFonts(); };
    actions.reportMissingSoundFonts = [] {
        if (CMainApp* app = GetMainApp())
            app->GetTray().ShowBalloon(GetText(L"err.noSoundfont"), NIIF_ERROR, BalloonKind::SoundFontsOrPanicHotkey);
    };
    actions.reloadEngine = [] {
        if (g_Engine && g_Engine->IsInitialized())
            g_Engine->Reload();
    };
    actions.registerHotkeys = [] {
        if (CMainApp* app = GetMainApp())
            app->GetTray().RegisterHotkeys();
    };
    actions.applyVuMeter = [] {
        if (g_Engine)
            g_Engine->ForEachMixer([](CMixerDialog* mixer) { mixer->UpdateMeterThread(); });
    };
    actions.reloadLanguage = [] { LoadLanguage(); };
    return actions;
}

ConfiguratorSaveActions& SaveActions()
{
    static ConfiguratorSaveActions actions = DefaultSaveActions();
    return actions;
}
