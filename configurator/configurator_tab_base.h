// The base of the configurator's six pages: a child dialog inside the tab
// control that knows whether it holds unsaved changes, writes them on Save and
// puts its texts into the current language.
#pragma once

#include "ui/dpi_dialog.h"

class CConfigurator;

class CConfiguratorTabBase : public CDpiAwareDialog {
public:
    CConfiguratorTabBase(UINT templateId, CConfigurator& owner) : CDpiAwareDialog(templateId), m_owner(owner) {}

    // Marks the page (and with it the configurator) as holding unsaved
    // changes, which enables Apply; false clears the page's mark.
    virtual void SetModified(bool modified);
    bool IsModified() const noexcept { return m_modified; }
    // Writes the page's values into the settings store. False stops the save
    // sequence: the page has told the user what to correct. `command` is IDOK
    // or Apply's id.
    virtual bool Save(UINT command);
    // Replaces the language keys of the page's controls by their texts.
    virtual void ApplyLanguage();

    CConfigurator& Owner() noexcept { return m_owner; }
    BOOL PreTranslateMessage(MSG& msg) override;

protected:
    // Page appearance (window-coloured background and texts), wheel scrolling
    // of pages with a scroll bar, and Ctrl+Tab handed to the configurator.
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

private:
    CConfigurator& m_owner;
    bool m_modified = false;
};
