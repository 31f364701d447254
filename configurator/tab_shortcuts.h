// The Shortcuts page: the two global hotkeys (show the mixer, MIDI panic), the
// mixers-of-all-ports option, and the mixer window's keys for reference.
#pragma once

#include <string>

#include "configurator/configurator_tab_base.h"
#include "ui/gdi_object.h"

// The reference text of the mixer window's keys, one "%-12s => %s\n" line each.
std::wstring MixerKeysReference();

class CConfiguratorTabShortcuts : public CConfiguratorTabBase {
public:
    explicit CConfiguratorTabShortcuts(CConfigurator& owner);
    bool Save(UINT command) override;
    void ResetToDefaults();

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    void AfterDpiChange() override;

private:
    void SetReferenceFont();
    CFont m_referenceFont;
};
