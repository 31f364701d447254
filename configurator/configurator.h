// The configuration window of the resident synth: six pages in a tab control,
// OK, Cancel and Apply, and the save sequence that writes every page into the
// settings store and then tells the rest of the process what changed.
#pragma once

#include <array>
#include <memory>

#include "configurator/configurator_pages.h"
#include "configurator/configurator_tab_base.h"
#include "ui/dpi_dialog.h"
#include "ui/tab_ex.h"

class CConfigurator : public CDpiAwareDialog {
public:
    CConfigurator();
    ~CConfigurator() override;

    // Creates the window modeless, without a parent, and shows it. The object
    // deletes itself (through the tray) when its window is destroyed.
    static CConfigurator* Open();

    // A page's changes were made or saved: Apply follows the flag.
    void SetModified(bool modified);
    bool IsModified() const noexcept { return m_modified; }

    // Saves every page in tab order and acts on the raised change flags; for
    // IDOK the window then closes. False when a page refused (the window stays
    // open, nothing else happens).
    bool RunSaveSequence(UINT command);

    // Ctrl+Tab / Ctrl+Shift+Tab: the next / previous page, wrapping. True when `key` was that.
    bool HandleTabSwitchKey(WPARAM key);

    int CurrentPage() const { return m_tabs.CurrentTab(); }
    void SelectPage(int index);
    CConfiguratorTabBase* Page(int index) const;
    TabEx& Tabs() noexcept { return m_tabs; }

    BOOL PreTranslateMessage(MSG& msg) override;

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    void OnOK() override;
    void OnCancel() override;
    void AfterDpiChange() override;
    void OnFinalDestroy() override;

private:
    void CreatePages();
    void LayoutPages();
    void ShowCurrentPage();
    void OnDestroy();

    TabEx m_tabs;
    std::array<std::unique_ptr<CConfiguratorTabBase>, kPageCount> m_pages;
    bool m_modified = false;
    bool m_modeless = false;
};
