#include "tray/systray.h"

#include <commctrl.h>

#include "core/app.h"
#include "core/command_line.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/product.h"
#include "core/resident_windows.h"
#include "core/settings.h"
#include "ipc/ipc_server.h"
#include "mixer/mixer_owner.h"
#include "synth/synth_engine.h"
#include "tray/hotkeys.h"
#include "ui/deferred_delete.h"
#include "ui/shell.h"

UINT CSystray::s_taskbarCreated = 0;

namespace {

std::function<void(CSystray&)>& StartupUpdateCheck()
{
    static std::function<void(CSystray&)> check;
    return check;
}

std::function<bool()>& ConversionRunning()
{
    static std::function<bool()> query;
    return query;
}

// A double click on the icon is followed by a button release that must not
// open the menu; one flag for the process, as there is one icon.
bool g_doubleClicked = false;

DWORD PortCount() { return g_Engine ? g_Engine->PortCount() : 0; }

CMidiDevice* Port(DWORD index) { return g_Engine ? g_Engine->Port(index) : nullptr; }

bool HasMixerWindow(const IMixerOwner* owner) { return owner && owner->MixerWindowHandle.load() != nullptr; }

void CloseMixer(IMixerOwner* owner)
{
    if (HWND window = owner ? owner->MixerWindowHandle.load() : nullptr)
        ::SendMessageW(window, WM_CLOSE, 0, 0);
}

std::wstring Today()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t text[16] = {};
    swprintf(text, 16, L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

HICON LoadTrayIcon()
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    HICON icon = nullptr;
    // The small-icon size of the system's DPI, drawn from the size that fits
    // best rather than shrunk from the large one.
    if (FAILED(::LoadIconMetric(instance, MAKEINTRESOURCEW(kTrayIconResource), LIM_SMALL, &icon)) || !icon)
        icon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kTrayIconResource), IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    return icon;
}

}  // namespace

void CSystray::SetStartupUpdateCheck(std::function<void(CSystray&)> check) { StartupUpdateCheck() = std::move(check); }

void CSystray::SetConversionRunningQuery(std::function<bool()> query) { ConversionRunning() = std::move(query); }

void CSystray::Create()
{
    // A hidden top-level window rather than a message-only one: FindWindow,
    // which a second instance uses, does not see message-only windows.
    CreateEx(0, kTrayClassName, kTrayWindowTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
}

void CSystray::OnCreate()
{
    SetDeletionTarget(m_hWnd);

    // 1. The icon record. Its size is this build's: the 32-bit and 64-bit
    //    layouts differ, and the shell reads the size to know which it got.
    m_icon = NOTIFYICONDATAW{};
    m_icon.cbSize = sizeof(m_icon);
    m_icon.hWnd = m_hWnd;
    m_icon.uID = 0;
    m_icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_icon.uCallbackMessage = kTrayIconMessage;
    m_icon.hIcon = LoadTrayIcon();
    swprintf(m_icon.szTip, std::size(m_icon.szTip), L"%ls - %ls", kAppTitle, kProductVersion);

    // 2. The automatic update check.
    if (StartupUpdateCheck())
        StartupUpdateCheck()(*this);

    // 3. Hotkeys, 4. the icon.
    RegisterHotkeys();
    AddIcon();

    // 5. The mixers that were open when the synth last ended.
    ReopenMixers();

    // 6. A port without soundfonts stays silent: say so at once.
    if (g_Engine && !g_Engine->AllPortsHaveSoundFonts())
        ShowBalloon(GetText(L"err.noSoundfont"), NIIF_ERROR, BalloonKind::SoundFontsOrPanicHotkey);
}

void CSystray::AddIcon() { NotifyIcon(NIM_ADD, &m_icon); }

void CSystray::ReopenMixers()
{
    if (!g_Settings)
        return;
    const DWORD mask = g_Settings->OpenStatus.Get();
    // Only ports that exist: "DevicesCount" may have been lowered since the
    // mask was stored.
    const DWORD count = PortCount();
    for (DWORD port = 0; port < count && port < 32; ++port) {
        if (mask & (1u << port))
            if (CMidiDevice* device = Port(port))
                device->ShowMixer();
    }
}

void CSystray::ShowBalloon(const std::wstring& text, DWORD infoFlags, BalloonKind kind)
{
    NOTIFYICONDATAW data = m_icon;
    data.uFlags = m_icon.uFlags | NIF_INFO;
    wcsncpy(data.szInfo, text.c_str(), std::size(data.szInfo) - 1);
    data.szInfo[std::size(data.szInfo) - 1] = L'\0';
    wcsncpy(data.szInfoTitle, kAppTitle, std::size(data.szInfoTitle) - 1);
    data.dwInfoFlags = infoFlags;
    data.uTimeout = 3;
    m_balloonKind = kind;
    NotifyIcon(NIM_MODIFY, &data);
}

void CSystray::SetUpdateAvailable(bool showBalloon)
{
    m_updateAvailable = true;
    if (!showBalloon)
        return;
    ShowBalloon(GetText(L"scm.updateAvailableBalloon"), NIIF_INFO, BalloonKind::Update);
    if (g_Settings)
        g_Settings->LastNotify.Set(Today());
}

void CSystray::PostUpdateAvailable() const
{
    if (m_hWnd)
        ::PostMessageW(m_hWnd, kUpdateFoundMessage, 0, 0);
}

void CSystray::UnregisterHotkeys()
{
    for (int i = 0; i < 2; ++i) {
        if (m_hotkeys[i])
            ::UnregisterHotKey(m_hWnd, i + 1);
        m_hotkeys[i] = 0;
    }
}

void CSystray::RegisterHotkeys()
{
    UnregisterHotkeys();
    if (!g_Settings || !m_hWnd)
        return;
    struct Key {
        int id;
        DWORD value;
        const wchar_t* nameKey;
        DWORD icon;
        BalloonKind kind;
    };
    const Key keys[] = {
        {kHotkeyMixer, g_Settings->ShowMixer.Get(), L"scm.mixer", NIIF_ERROR, BalloonKind::MixerHotkey},
        {kHotkeyPanic, g_Settings->MIDIPanic.Get(), L"scm.panic", NIIF_INFO, BalloonKind::SoundFontsOrPanicHotkey},
    };
    for (const Key& key : keys) {
        if (key.value == 0)
            continue;
        if (::RegisterHotKey(m_hWnd, key.id, HotkeyModifiers(key.value), HotkeyVirtualKey(key.value))) {
            m_hotkeys[key.id - 1] = key.value;
            continue;
        }
        ShowBalloon(GetText(L"err.hotkeyCreation", WithoutAccelerators(GetText(key.nameKey)), HotkeyText(key.value)),
                    key.icon, key.kind);
    }
}

HMENU CSystray::BuildMenu() const
{
    TrayMenuModel model;
    model.portCount = PortCount();
    model.mixerHotkey = HotkeyText(m_hotkeys[0]);
    model.panicHotkey = HotkeyText(m_hotkeys[1]);
    model.showMixerAll = g_Settings && g_Settings->ShowMixerAll.Get() != 0;
    model.exitEnabled = !(ResidentWindows().Converter() && ConversionRunning() && ConversionRunning()());
    model.updateAvailable = m_updateAvailable;
    return BuildTrayMenu(model);
}

void CSystray::ShowMenu()
{
    HMENU menu = BuildMenu();
    if (!menu)
        return;
    POINT at{};
    ::GetCursorPos(&at);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    ::SetForegroundWindow(m_hWnd);
    const UINT id = ShowPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_BOTTOMALIGN, at, m_hWnd);
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
    if (id)
        RunCommand(id);
}

bool CSystray::RunCommand(UINT id)
{
    if (id >= kTrayCommandMixer && id < kTrayCommandMixer + kMaxPorts) {
        if (CMidiDevice* port = Port(id - kTrayCommandMixer))
            port->ShowMixer();
        return true;
    }
    switch (id) {
    case kTrayCommandPanic:
        if (g_Engine)
            g_Engine->MidiPanic();
        return true;
    case kTrayCommandConverter:
        ResidentWindows().OpenConverter();
        return true;
    case kTrayCommandConfigure:
    case kTrayCommandUpdate:
    case kTrayCommandAbout:
        ResidentWindows().OpenConfigurator();
        return true;
    case kTrayCommandExit:
        OnExitCommand();
        return true;
    }
    return false;
}

void CSystray::OnIconNotify(UINT mouseMessage)
{
    switch (mouseMessage) {
    case WM_LBUTTONDBLCLK:
        g_doubleClicked = true;
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (g_doubleClicked) {
            g_doubleClicked = false;
            RunCommand(kTrayCommandMixer);
        } else {
            ShowMenu();
        }
        break;
    case NIN_BALLOONUSERCLICK:
        ResidentWindows().OpenConfigurator();
        break;
    }
}

void CSystray::ToggleMixers()
{
    CMidiDevice* first = Port(0);
    if (!first)
        return;
    if (!g_Settings || !g_Settings->ShowMixerAll.Get()) {
        first->ToggleMixer();
        return;
    }
    const DWORD count = PortCount();
    if (!HasMixerWindow(first)) {
        // Last to first, so the first port's window ends up in front.
        for (DWORD port = count; port-- > 0;)
            if (CMidiDevice* device = Port(port))
                device->ShowMixer();
    } else {
        for (DWORD port = 0; port < count; ++port)
            CloseMixer(Port(port));
    }
}

void CSystray::OnHotkey(int id)
{
    if (id == kHotkeyMixer)
        ToggleMixers();
    else if (id == kHotkeyPanic && g_Engine)
        g_Engine->MidiPanic();
}

LRESULT CSystray::OnCopyData(const COPYDATASTRUCT* data)
{
    if (!data || data->dwData != kHandOverTag || !data->lpData)
        return FALSE;
    // The payload is UTF-16 with its terminating zero; never trust the sender's
    // zero to be there, read only within cbData.
    const auto* chars = static_cast<const wchar_t*>(data->lpData);
    size_t count = data->cbData / sizeof(wchar_t);
    std::wstring_view text(chars, count);
    if (size_t zero = text.find(L'\0'); zero != std::wstring_view::npos)
        text = text.substr(0, zero);
    // Opening windows from inside SendMessage would keep the sender waiting
    // for as long as a window takes to appear; defer to our own loop.
    // The list stays here rather than in the message: any program can post to
    // this window, so no message parameter is ever taken for a pointer.
    m_handedOver.push_back(TokenizeCommandLine(text));
    if (!::PostMessageW(m_hWnd, kOpenWindowsMessage, 0, 0))
        m_handedOver.pop_back();
    return TRUE;
}

void CSystray::OnExitCommand()
{
    // Closing under connected programs cuts them off mid-song: the user decides.
    for (;;) {
        int answer = g_Ipc ? g_Ipc->CheckOpenPorts() : IDCONTINUE;
        if (answer == IDCANCEL)
            return;
        if (answer != IDTRYAGAIN)
            break;
    }
    ::SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CSystray::OnClose()
{
    UnregisterHotkeys();
    NotifyIcon(NIM_DELETE, &m_icon);
    DWORD open = 0;
    const DWORD count = PortCount();
    for (DWORD port = 0; port < count && port < 32; ++port) {
        CMidiDevice* device = Port(port);
        if (HasMixerWindow(device)) {
            open |= 1u << port;
            CloseMixer(device);
        }
    }
    if (g_Settings)
        g_Settings->OpenStatus.Set(open);
    CloseResidentWindows();
    Destroy();
}

LRESULT CSystray::WndProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == s_taskbarCreated && s_taskbarCreated != 0) {
        // The shell restarted and forgot every icon.
        AddIcon();
        return 0;
    }
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case kTrayIconMessage:
        if (wparam == 0)
            OnIconNotify(LOWORD(lparam));
        return 0;
    case WM_HOTKEY:
        OnHotkey(static_cast<int>(wparam));
        return 0;
    case WM_POWERBROADCAST:
        // Audio devices are gone after sleep: reopen them, keeping every client's state.
        if (wparam == PBT_APMRESUMEAUTOMATIC && g_Engine)
            g_Engine->Reload();
        return TRUE;
    case kUpdateFoundMessage:
        SetUpdateAvailable(true);
        return 0;
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lparam));
    case kOpenWindowsMessage:
        if (!m_handedOver.empty()) {
            ArgumentList args = std::move(m_handedOver.front());
            m_handedOver.pop_front();
            OpenRequestedWindows(std::move(args), true);
        }
        return 0;
    case WM_USER:
        // A modeless window hands its object over after its destruction. Any
        // program can post here: only objects registered for deletion go.
        DeletePendingWindow(wparam);
        return 0;
    case WM_COMMAND:
        if (lparam == 0 && RunCommand(LOWORD(wparam)))
            return 0;
        break;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return FinalWindowProc(msg, wparam, lparam);
}
