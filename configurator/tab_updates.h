// The Updates page: the installed and the latest version, the date of the last
// check, how often the synth checks by itself, and a check on demand.
#pragma once

#include "configurator/configurator_tab_base.h"
#include "configurator/update_checker.h"
#include "ui/gdi_object.h"

// The message the update checker posts this page with a CheckResult.
inline constexpr UINT kUpdateResultMessage = WM_APP + 40;

class CConfiguratorTabUpdates : public CConfiguratorTabBase {
public:
    explicit CConfiguratorTabUpdates(CConfigurator& owner);
    bool Save(UINT command) override;
    // Check now (button 1008).
    void CheckNow();
    // The checker this page asks (the process's own unless a test gives one).
    void SetChecker(CUpdateChecker* checker) noexcept { m_checker = checker; }

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    void AfterDpiChange() override;

private:
    void Refresh();
    void OnResult(CheckResult result);
    void OpenAvailable();

    CUpdateChecker* m_checker = nullptr;
    bool m_newer = false;
    void SetLinkFont();

    CFont m_linkFont; // the dialog font, underlined: a newer version is a link
};
