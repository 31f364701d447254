#include "core/app.h"

#include "configurator/configurator.h"
#include "converter/midi_converter.h"
#include "core/resident_windows.h"

// The windows register before the message loop starts: the command line's
// windows open before the tray window exists.
CMainApp::CMainApp(std::wstring commandLine) : m_commandLine(std::move(commandLine))
{
    ResidentWindows().SetConfiguratorFactory([](HWND) { return CConfigurator::Open(); });
    RegisterConverterWindow();
}

CMainApp* GetMainApp() noexcept { return static_cast<CMainApp*>(Win32xx::CWinApp::GetApp()); }

BOOL CMainApp::InitInstance()
{
    try {
        m_tray.Create();
    } catch (const Win32xx::CWinException&) {
        // Without its main window the process could not be reached or closed;
        // there is nothing sensible to run.
        return FALSE;
    }
    return TRUE;
}

void OpenRequestedWindows(ArgumentList args, bool defaultToConfigurator)
{
    if (defaultToConfigurator && args.empty())
        args.emplace_back(kSwitchConfigurator);
    if (HasSwitch(args, kSwitchConfigurator))
        ResidentWindows().OpenConfigurator();
    else if (HasSwitch(args, kSwitchConverter))
        ResidentWindows().OpenConverter();
}

void CloseResidentWindows() { ResidentWindows().DestroyAll(); }
