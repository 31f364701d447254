// The SoundFonts page: the ordered soundfont list with its port assignments,
// edited on a working copy that Save applies to the running synth at once.
#pragma once

#include <string>
#include <vector>

#include "configurator/configurator_tab_base.h"
#include "configurator/soundfont_list_box.h"
#include "core/settings_soundfont.h"
#include "ui/balloon_tooltip.h"

class CConfiguratorTabSoundFonts : public CConfiguratorTabBase {
public:
    explicit CConfiguratorTabSoundFonts(CConfigurator& owner);

    bool Save(UINT command) override;
    void ApplyLanguage() override;

    // The user's operations, as the buttons and the list run them.
    void AddFiles(const std::vector<std::wstring>& paths);
    void RemoveSelected();
    void MoveUp();
    void MoveDown();
    void EditSelected();
    void Import();
    void Export();

    const SoundFontList& Entries() const noexcept { return m_entries; }
    CSoundFontListBox& List() noexcept { return m_list; }

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    void AfterDpiChange() override;

private:
    void AddFile(const std::wstring& path);
    void UpdateButtons();
    void Changed();

    SoundFontList m_entries;
    DWORD m_portCount = 1;
    CSoundFontListBox m_list;
    CBalloonToolTip m_tips;
};

// Whether `selection` (ascending) is non-empty and without gaps.
bool IsConsecutiveSelection(const std::vector<int>& selection);
