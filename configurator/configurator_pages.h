// The configurator's six page slots, in tab order. Each slot's page is made by
// its factory; a slot without one shows an empty page. A page of another area
// registers itself in MakeConfiguratorPage (configurator_pages.cpp) with one line.
#pragma once

#include <functional>
#include <memory>

class CConfigurator;
class CConfiguratorTabBase;

enum ConfiguratorPage : int {
    kPageSoundFonts = 0,
    kPageMidiMapper = 1,
    kPageOptions = 2,
    kPageShortcuts = 3,
    kPageUpdates = 4,
    kPageAbout = 5,
    kPageCount = 6,
};

// The language key of a slot's tab title.
const wchar_t* ConfiguratorPageTitleKey(int page);

using ConfiguratorPageFactory = std::function<std::unique_ptr<CConfiguratorTabBase>(CConfigurator&)>;

// The page of `slot` for a configurator being created (never null).
std::unique_ptr<CConfiguratorTabBase> MakeConfiguratorPage(int slot, CConfigurator& owner);

// Tests: replaces the factory of one slot (an empty function restores the program's own).
void OverrideConfiguratorPage(int slot, ConfiguratorPageFactory factory);
