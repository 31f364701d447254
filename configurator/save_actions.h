// What the configurator's save sequence does to the rest of the process for
// each raised change flag. Each action is a function the program fills with
// the real operation; in-process tests replace them to see what was asked.
#pragma once

#include <functional>

struct ConfiguratorSaveActions {
    // The port count changed: ask and restart the synth; true when the process is closing.
    std::function<bool()> restartSynth;
    // Whether every port has at least one soundfont enabled.
    std::function<bool()> allPortsHaveSoundFonts;
    // Tells the user (tray balloon) that a port has no soundfont.
    std::function<void()> reportMissingSoundFonts;
    // Audio settings changed: the engine reloads, clients keeping their MIDI state.
    std::function<void()> reloadEngine;
    // Hotkey settings changed: the global hotkeys are registered again.
    std::function<void()> registerHotkeys;
    // The meters setting changed: open mixer windows take it up.
    std::function<void()> applyVuMeter;
    // The language changed: the language table is loaded again.
    std::function<void()> reloadLanguage;
};

// The process's actions (initially the real ones).
ConfiguratorSaveActions& SaveActions();
// The real actions, for restoring after a test replaced some.
ConfiguratorSaveActions DefaultSaveActions();
