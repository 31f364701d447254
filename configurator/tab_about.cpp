#include "configurator/tab_about.h"

#include "configurator/configurator.h"
#include "configurator/debug_report.h"
#include "configurator/midi_out_devices.h"
#include "configurator/resource_ids.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "core/system_error.h"
#include "ipc/ipc_server.h"
#include "ui/file_dialogs.h"
#include "ui/shell.h"
#include "ui/window_text.h"

namespace {
constexpr wchar_t kMakerLine[] = L"Made by Ambrella, with thanks to everyone who sends a debug report.";
constexpr DWORD kRefreshMs = 200;
} // namespace

CConfiguratorTabAbout::CConfiguratorTabAbout(CConfigurator& owner)
    : CConfiguratorTabBase(IDD_PAGE_ABOUT, owner), m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CConfiguratorTabAbout::~CConfiguratorTabAbout() { StopRefresh(); }

BOOL CConfiguratorTabAbout::OnInitDialog()
{
    ::SetDlgItemTextW(m_hWnd, IDC_ABOUT_TITLE, (std::wstring(kAppTitle) + L" - " + kProductVersion).c_str());
    ::SetDlgItemTextW(m_hWnd, IDC_ABOUT_MAKER, kMakerLine);
    m_fixedStatus = SystemStatusLines();
    Resizer().Initialize(m_hWnd, {0, 0, Scale(300), Scale(200)});
    Resizer().AddChild(::GetDlgItem(m_hWnd, IDC_ABOUT_TITLE), Win32xx::kAnchorLeft | Win32xx::kAnchorTop | Win32xx::kAnchorRight);
    Resizer().AddChild(::GetDlgItem(m_hWnd, IDC_ABOUT_MAKER), Win32xx::kAnchorLeft | Win32xx::kAnchorTop | Win32xx::kAnchorRight);
    Resizer().AddChild(::GetDlgItem(m_hWnd, IDC_ABOUT_STATUS), Win32xx::kAnchorAll);
    Resizer().AddChild(::GetDlgItem(m_hWnd, IDC_ABOUT_REPORT), Win32xx::kAnchorRight | Win32xx::kAnchorBottom);
    SetFonts();
    ApplyLanguage();
    Refresh();
    return TRUE;
}

void CConfiguratorTabAbout::SetFonts()
{
    LOGFONTW title{};
    title.lfHeight = -Scale(20);
    title.lfWeight = FW_BOLD;
    wcscpy_s(title.lfFaceName, L"Verdana");
    m_titleFont.Reset(::CreateFontIndirectW(&title));
    LOGFONTW status{};
    status.lfHeight = -Scale(16);
    status.lfWeight = FW_NORMAL;
    wcscpy_s(status.lfFaceName, L"Courier New");
    m_statusFont.Reset(::CreateFontIndirectW(&status));
    ::SendDlgItemMessageW(m_hWnd, IDC_ABOUT_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont.Get()), TRUE);
    ::SendDlgItemMessageW(m_hWnd, IDC_ABOUT_STATUS, WM_SETFONT, reinterpret_cast<WPARAM>(m_statusFont.Get()), TRUE);
}

void CConfiguratorTabAbout::AfterDpiChange() { SetFonts(); }

std::wstring CConfiguratorTabAbout::StatusText() const
{
    std::wstring ports;
    if (g_Ipc)
        g_Ipc->GetStatusText(ports, true, true);
    return m_fixedStatus + LiveStatusLines(g_Settings ? g_Settings->DevicesCount.Get() : 1, ports);
}

void CConfiguratorTabAbout::Refresh()
{
    const std::wstring text = StatusText();
    HWND box = ::GetDlgItem(m_hWnd, IDC_ABOUT_STATUS);
    // Unchanged text is not set again, so the user's scroll position and selection stay.
    if (text != WindowTextOf(box))
        ::SetWindowTextW(box, text.c_str());
}

DWORD WINAPI CConfiguratorTabAbout::RefreshThread(void* param)
{
    auto* self = static_cast<CConfiguratorTabAbout*>(param);
    // The thread only posts: all reading of the ports happens on the page's thread.
    while (::IsWindow(self->m_hWnd)) {
        ::PostMessageW(self->m_hWnd, kAboutRefreshMessage, 0, 0);
        if (::WaitForSingleObject(self->m_stop.Get(), kRefreshMs) != WAIT_TIMEOUT)
            break;
    }
    return 0;
}

void CConfiguratorTabAbout::StartRefresh()
{
    if (m_thread || !m_stop)
        return;
    ::ResetEvent(m_stop.Get());
    HANDLE thread = ::CreateThread(nullptr, 0, RefreshThread, this, CREATE_SUSPENDED, nullptr);
    if (!thread)
        return;
    ::SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
    m_thread.Reset(thread);
    ::ResumeThread(thread);
}

void CConfiguratorTabAbout::StopRefresh()
{
    // Stopped through its event and waited for, never terminated: a thread
    // killed inside PostMessage could leave the window system's locks held.
    if (!m_thread)
        return;
    ::SetEvent(m_stop.Get());
    ::WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
}

void CConfiguratorTabAbout::SaveDebugReport()
{
    std::optional<std::wstring> path = SaveFileDialog(m_hWnd, GetText(L"cfg.about.debugReportSave"),
                                                      L"Tessaline debug report (*.txt)|*.txt|", L"txt");
    if (!path)
        return;
    DebugReportSources sources;
    sources.status = WindowTextOf(::GetDlgItem(m_hWnd, IDC_ABOUT_STATUS));
    if (g_Settings) {
        sources.soundFonts = g_Settings->SoundFonts;
        sources.configFile = g_Settings->ConfigFile();
    }
    sources.midiDevices = MidiOutDeviceNames();
    sources.audioDevices = AudioDeviceNames();
    // A report that could not be written is never announced as saved.
    if (DWORD error = WriteDebugReport(*path, BuildDebugReport(sources)); error != ERROR_SUCCESS) {
        ShowMessage(L"The debug report could not be saved to " + *path + L":\n" + FormatSystemError(error),
                    MB_OK | MB_ICONERROR, m_hWnd);
        return;
    }
    if (ShowMessage(GetText(L"cfg.about.debugReportSaveCompleted", *path), MB_OKCANCEL | MB_ICONINFORMATION, m_hWnd) ==
        IDOK)
        ShellOpen(L"open", path->c_str(), nullptr, SW_SHOWNORMAL);
}

INT_PTR CConfiguratorTabAbout::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case kAboutRefreshMessage:
        // Nobody reads a minimised window: the ports are not walked for it.
        if (::IsWindowVisible(m_hWnd) && !::IsIconic(Owner()))
            Refresh();
        return TRUE;
    case WM_SHOWWINDOW:
        if (wparam)
            StartRefresh();
        else
            StopRefresh();
        break;
    case WM_DESTROY:
        StopRefresh();
        break;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_ABOUT_REPORT && HIWORD(wparam) == BN_CLICKED) {
            SaveDebugReport();
            return TRUE;
        }
        break;
    }
    return CConfiguratorTabBase::DialogProc(msg, wparam, lparam);
}
