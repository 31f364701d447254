// The application object of the resident synth and the operations on the
// windows it owns.
#pragma once

#include <string>

#include "core/command_line.h"
#include "tray/systray.h"
#include "ui/win32xx/winapp.h"

// Posted to the tray window to open the windows a command line asks for.
inline constexpr UINT kOpenWindowsMessage = WM_APP + 1;

class CMainApp : public Win32xx::CWinApp {
public:
    // Registers how the resident windows are made, so the command line's windows can open.
    explicit CMainApp(std::wstring commandLine);

    BOOL InitInstance() override;
    CSystray& GetTray() noexcept { return m_tray; }
    const std::wstring& GetCommandLine() const noexcept { return m_commandLine; }

private:
    CSystray m_tray;
    std::wstring m_commandLine;
};

CMainApp* GetMainApp() noexcept;

// Opens the configurator or the converter as `args` ask; with `defaultToConfigurator`
// an empty list opens the configurator. A window that exists comes to the front.
void OpenRequestedWindows(ArgumentList args, bool defaultToConfigurator);
// Destroys the configurator and converter windows when present (the tray's close).
void CloseResidentWindows();

// Starts a new instance of the synth and closes this one, after asking the user.
bool RestartSynth();
