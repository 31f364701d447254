// The About page: product and version, the maker's line, a live status (the
// system, the memory, every port with its clients) refreshed five times a
// second while the page is visible, and the debug report.
#pragma once

#include <string>

#include "configurator/configurator_tab_base.h"
#include "ipc/kernel_handle.h"
#include "ui/gdi_object.h"

// Posted by the refresh thread. Not WM_USER + 1: in a dialog that is
// DM_SETDEFID, which the dialog manager sends itself.
inline constexpr UINT kAboutRefreshMessage = WM_APP + 41;

class CConfiguratorTabAbout : public CConfiguratorTabBase {
public:
    explicit CConfiguratorTabAbout(CConfigurator& owner);
    ~CConfiguratorTabAbout() override;
    // Writes the debug report (button 1084).
    void SaveDebugReport();
    // The whole status text as the page shows it now.
    std::wstring StatusText() const;
    bool IsRefreshing() const noexcept { return static_cast<bool>(m_thread); }

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    void AfterDpiChange() override;

private:
    static DWORD WINAPI RefreshThread(void* self);
    void StartRefresh();
    void StopRefresh();
    void Refresh();
    void SetFonts();

    std::wstring m_fixedStatus;
    CKernelHandle m_thread;
    CKernelHandle m_stop; // manual-reset event: the thread ends when it is set
    CFont m_titleFont, m_statusFont;
};
