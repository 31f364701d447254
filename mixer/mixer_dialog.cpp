#include "mixer/mixer_dialog.h"

#include <algorithm>

#include "core/dpi.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "core/system_error.h"
#include "mixer/mixer_art.h"
#include "mixer/mixer_menu.h"
#include "mixer/mixer_owner.h"
#include "mixer/mixer_resources.h"
#include "synth/synth_engine.h"
#include "ui/file_dialogs.h"
#include "ui/shell.h"

namespace {

const COLORREF kBackground = RGB(24, 24, 24);

// One counter for the process: holding a volume key speeds it up after
// twenty repeats, whichever mixer window has the keyboard.
DWORD g_keyRepeats = 0;

bool MetersOn() { return !g_Settings || g_Settings->DisableVUMeter.Get() == 0; }

DWORD ZoomPercent() { return g_Settings ? g_Settings->Zoom.Get() : 100; }

HICON LoadMixerIcon(int size)
{
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MIXER), IMAGE_ICON, size,
                                           size, 0));
}

}  // namespace

CMixerDialog::CMixerDialog(IMixerOwner& owner) : CDpiAwareDialog(IDD_MIXER), m_owner(owner)
{
    m_background.Reset(::CreateSolidBrush(kBackground));
    for (int i = 0; i < kStripCount; ++i)
        m_strips[i] = std::make_unique<CMixerChannel>(*this, owner, i);
}

CMixerDialog::~CMixerDialog()
{
    StopMeterThread(5000);
    if (m_iconSmall)
        ::DestroyIcon(m_iconSmall);
    if (m_iconLarge)
        ::DestroyIcon(m_iconLarge);
}

void CMixerDialog::Open() { DoModeless(nullptr); }

BOOL CMixerDialog::OnInitDialog()
{
    m_art.store(&CMixerArt::ForScale(GetScale() * ZoomPercent() / 100.0f));
    for (auto& strip : m_strips)
        strip->Create(m_hWnd);
    ApplyLayout();
    m_iconSmall = LoadMixerIcon(Scale(16));
    m_iconLarge = LoadMixerIcon(Scale(32));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_iconSmall));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_iconLarge));
    ::SetWindowTextW(m_hWnd, (m_owner.GetName() + L" - " + GetText(L"mixer.title")).c_str());
    m_selected = kMasterStrip;
    m_owner.SetMixerWindow(this, m_hWnd);

    bool placed = g_Settings && g_Settings->RestoreWindowPlacement(L"Mixer", m_hWnd, false, m_owner.Label);
    if (!placed) {
        RECT window{}, work{};
        ::GetWindowRect(m_hWnd, &window);
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        ::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &info);
        work = info.rcWork;
        const int width = window.right - window.left, height = window.bottom - window.top;
        ::SetWindowPos(m_hWnd, nullptr, work.left + (work.right - work.left - width) / 2,
                       work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(m_hWnd, SW_SHOW);
    }
    UpdateMeterThread();
    // The window has no controls: it takes the keys itself.
    ::SetFocus(m_hWnd);
    return FALSE;
}

void CMixerDialog::ApplyLayout()
{
    m_layoutScale = GetScale() * static_cast<float>(ZoomPercent()) / 100.0f;
    m_art.store(&CMixerArt::ForScale(m_layoutScale));
    for (int i = 0; i < kStripCount; ++i) {
        const RECT r = StripRect(m_layoutScale, i);
        ::SetWindowPos(m_strips[i]->GetHwnd(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        m_strips[i]->Refresh();
    }
    const SIZE client = MixerClientSize(m_layoutScale);
    RECT frame{0, 0, client.cx, client.cy};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE));
    if (!Dpi().AdjustWindowRectExForDpi || !Dpi().AdjustWindowRectExForDpi(&frame, style, FALSE, exStyle, GetDpi()))
        ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame may come out differently than computed (menus, themes): make
    // the client area exact from what the window really got.
    RECT got{};
    ::GetClientRect(m_hWnd, &got);
    if (got.right != client.cx || got.bottom != client.cy) {
        RECT window{};
        ::GetWindowRect(m_hWnd, &window);
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left + client.cx - got.right,
                       window.bottom - window.top + client.cy - got.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CMixerDialog::AfterDpiChange() { ApplyLayout(); }

void CMixerDialog::ApplyTopMost()
{
    if (::IsIconic(m_hWnd))
        ::ShowWindow(m_hWnd, SW_RESTORE);
    ::SetForegroundWindow(m_hWnd);
    const bool topMost = g_Settings && g_Settings->TopMost.Get() == 1;
    ::SetWindowPos(m_hWnd, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void CMixerDialog::RefreshStrip(DWORD channel)
{
    if (channel < kAllChannels) {
        m_strips[channel]->Refresh();
        return;
    }
    for (int i = 0; i < kMasterStrip; ++i)
        m_strips[i]->Refresh();
}

void CMixerDialog::RefreshMaster() { m_strips[kMasterStrip]->Refresh(); }

void CMixerDialog::RedrawAll()
{
    RefreshStrip(kAllChannels);
    RefreshMaster();
}

void CMixerDialog::SelectStrip(int index)
{
    if (index < 0 || index > kMasterStrip || index == m_selected)
        return;
    const int previous = m_selected;
    m_selected = index;
    m_strips[previous]->Refresh();
    m_strips[index]->Refresh();
}

// --- Meter thread ---

void CMixerDialog::UpdateMeterThread()
{
    if (MetersOn()) {
        if (m_meterThread)
            return;
        for (auto& strip : m_strips)
            strip->ResetIndicators();
        m_meterStop.store(0);
        m_meterThread = ::CreateThread(nullptr, 0, MeterThreadProc, this, 0, nullptr);
        if (m_meterThread)
            ::SetThreadPriority(m_meterThread, THREAD_PRIORITY_ABOVE_NORMAL);
    } else if (m_meterThread) {
        StopMeterThread(500);
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
        for (auto& strip : m_strips)
            ::InvalidateRect(strip->GetHwnd(), nullptr, FALSE);
    }
}

void CMixerDialog::StopMeterThread(DWORD timeoutMs)
{
    if (!m_meterThread)
        return;
    m_meterStop.store(1);
    if (::WaitForSingleObject(m_meterThread, timeoutMs) != WAIT_OBJECT_0) {
        // Still drawing after the wait: it must not outlive the strips, and it
        // only reads, so it is stopped where it is.
        ::TerminateThread(m_meterThread, 1);
    }
    ::CloseHandle(m_meterThread);
    m_meterThread = nullptr;
}

DWORD WINAPI CMixerDialog::MeterThreadProc(void* param)
{
    static_cast<CMixerDialog*>(param)->MeterLoop();
    return 0;
}

void CMixerDialog::MeterLoop()
{
    m_meterStop.store(0);
    int pass = 0;
    CMixerChannel& master = *m_strips[kMasterStrip];
    for (;;) {
        for (int c = 0; c < kMasterStrip; ++c)
            m_strips[c]->UpdateLight(false);
        if (pass++ >= 2) {
            pass = 0;
            std::lock_guard<std::mutex> guard(CMixerArt::DrawingLock());
            if (HDC dc = ::GetDC(master.GetHwnd())) {
                master.DrawMeter(dc);
                ::ReleaseDC(master.GetHwnd(), dc);
            }
        }
        ::Sleep(50);
        if (m_meterStop.load()) {
            m_meterStop.store(0);
            return;
        }
    }
}

// --- Keyboard ---

void CMixerDialog::ChangeSelectedVolume(int delta, bool absolute, DWORD value)
{
    CMixerChannel& strip = *m_strips[m_selected];
    int volume = absolute ? static_cast<int>(value) : static_cast<int>(strip.Volume()) + delta;
    volume = std::clamp(volume, 0, 100);
    strip.SetStripVolume(static_cast<DWORD>(volume));
    strip.Refresh();
}

bool CMixerDialog::OnKey(UINT msg, WPARAM key, LPARAM flags)
{
    const bool down = msg == WM_KEYDOWN;
    if (!down && msg != WM_KEYUP)
        return false;
    const bool repeat = down && (flags & (1 << 30)) != 0;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const bool channel = m_selected < kMasterStrip;

    int digit = -1;
    if (key >= '0' && key <= '9')
        digit = static_cast<int>(key - '0');
    else if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9)
        digit = static_cast<int>(key - VK_NUMPAD0);
    if (digit >= 0) {
        if (down) {
            if (ctrl) {
                if (digit <= 6)
                    SelectStrip(9 + digit);
            } else {
                SelectStrip(digit == 0 ? kMasterStrip : digit - 1);
            }
        }
        return true;
    }

    switch (key) {
    case VK_LEFT:
        if (down)
            SelectStrip(std::max(0, m_selected - 1));
        return true;
    case VK_RIGHT:
        if (down)
            SelectStrip(std::min(kMasterStrip, m_selected + 1));
        return true;
    case VK_UP:
    case VK_ADD:
    case VK_DOWN:
    case VK_SUBTRACT:
        if (down) {
            const int step = static_cast<int>(KeyStep(++g_keyRepeats));
            ChangeSelectedVolume(key == VK_UP || key == VK_ADD ? step : -step, false, 0);
        } else {
            g_keyRepeats = 0;
        }
        return true;
    case VK_HOME:
    case VK_END:
        if (down) {
            ++g_keyRepeats;
            if (!repeat)
                ChangeSelectedVolume(0, true, key == VK_HOME ? 100 : 0);
        } else {
            g_keyRepeats = 0;
        }
        return true;
    case 'M':
        if (down) {
            ++g_keyRepeats;
            if (!repeat && channel) {
                m_owner.SetMute(!m_owner.ChannelMute[m_selected], static_cast<DWORD>(m_selected));
                m_strips[m_selected]->Refresh();
            }
        } else {
            g_keyRepeats = 0;
        }
        return true;
    case 'S':
        if (down) {
            ++g_keyRepeats;
            if (!repeat && channel) {
                m_owner.SetSolo(!m_owner.ChannelSolo[m_selected], static_cast<DWORD>(m_selected));
                m_strips[m_selected]->Refresh();
            }
        }
        return true;
    case 'R':
        // Only the release resets: a key held by accident does nothing yet.
        if (down) {
            ++g_keyRepeats;
        } else {
            g_keyRepeats = 0;
            m_owner.ResetMixer();
            RedrawAll();
        }
        return true;
    }
    return false;
}

BOOL CMixerDialog::PreTranslateMessage(MSG& msg)
{
    // The window's own keys come before the dialog manager's navigation,
    // which would take the arrows for itself.
    if ((msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) &&
        (msg.hwnd == m_hWnd || ::IsChild(m_hWnd, msg.hwnd)) && OnKey(msg.message, msg.wParam, msg.lParam))
        return TRUE;
    return CDpiAwareDialog::PreTranslateMessage(msg);
}

// --- Context menu ---

HMENU CMixerDialog::BuildContextMenu() const
{
    MixerMenuModel model;
    model.portCount = g_Engine ? g_Engine->PortCount() : 0;
    for (DWORD port = 0; port < model.portCount; ++port)
        if (static_cast<const IMixerOwner*>(g_Engine->Port(port)) == &m_owner)
            model.ownPort = static_cast<int>(port);
    model.soloRatio = g_Settings ? g_Settings->SoloRatio.Get() : 20;
    model.topMost = g_Settings && g_Settings->TopMost.Get() == 1;
    model.zoom = ZoomPercent();
    model.imageSize = const_cast<CMixerDialog*>(this)->Scale(16);
    return BuildMixerMenu(model);
}

void CMixerDialog::ShowContextMenu()
{
    HMENU menu = BuildContextMenu();
    if (!menu)
        return;
    POINT at{};
    ::GetCursorPos(&at);
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    if (!::PtInRect(&window, at))
        at = {window.left, window.top};
    const UINT id = ShowPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, at, m_hWnd);
    DestroyMixerMenu(menu);
    if (id)
        RunCommand(id);
}

void CMixerDialog::SetSoloRatio(DWORD percent)
{
    if (!g_Settings)
        return;
    g_Settings->SoloRatio.Set(percent);
    // The ratio is global: every port's levels change, and this owner's
    // (the converter's mixer is no port).
    const DWORD count = g_Engine ? g_Engine->PortCount() : 0;
    bool ownIsPort = false;
    for (DWORD port = 0; port < count; ++port) {
        CMidiDevice* device = g_Engine->Port(port);
        ownIsPort = ownIsPort || static_cast<IMixerOwner*>(device) == &m_owner;
        device->ApplyMixLevel(kAllChannels);
    }
    if (!ownIsPort)
        m_owner.ApplyMixLevel(kAllChannels);
}

void CMixerDialog::CopyStateFrom(DWORD port)
{
    CMidiDevice* source = g_Engine ? g_Engine->Port(port) : nullptr;
    if (!source || static_cast<IMixerOwner*>(source) == &m_owner)
        return;
    m_owner.CopyMixerState(*source);
    RedrawAll();
}

void CMixerDialog::LoadStateFromFile()
{
    const std::wstring filter = GetText(L"common.filter.mixerState") + L" (*.tslms)|*.tslms|" +
                                GetText(L"common.filter.allFiles") + L" (*.*)|*.*|";
    const auto file = OpenFileDialog(m_hWnd, GetText(L"mixer.load"), filter, L"tslms");
    if (!file)
        return;
    if (const DWORD error = m_owner.LoadMixerState(file->c_str())) {
        ShowMessage(GetText(L"err.mixerStateLoad", *file, FormatSystemError(error)), MB_OK | MB_ICONERROR, m_hWnd);
        return;
    }
    RedrawAll();
    m_owner.ApplyMixLevel(kAllChannels);
}

void CMixerDialog::SaveStateToFile()
{
    const std::wstring filter = GetText(L"common.fileType.mixerState") + L" (*.tslms)|*.tslms|";
    // The dialog asks before an existing file is replaced.
    const auto file = SaveFileDialog(m_hWnd, GetText(L"mixer.save"), filter, L"tslms");
    if (!file)
        return;
    if (const DWORD error = m_owner.SaveMixerState(file->c_str()))
        ShowMessage(GetText(L"err.mixerStateSave", *file, FormatSystemError(error)), MB_OK | MB_ICONERROR, m_hWnd);
}

void CMixerDialog::RunCommand(UINT id)
{
    const DWORD portCount = g_Engine ? g_Engine->PortCount() : 0;
    const UINT ratioBase = kMixerSoloRatioBase + portCount;
    if (id >= ratioBase && id <= ratioBase + 100) {
        SetSoloRatio(id - ratioBase);
        return;
    }
    if (id >= kMixerCopyFrom && id < kMixerCopyFrom + portCount) {
        CopyStateFrom(id - kMixerCopyFrom);
        return;
    }
    auto onEveryMixer = [&](auto&& action) {
        bool done = false;
        if (g_Engine)
            g_Engine->ForEachMixer([&](CMixerDialog* window) {
                done = done || window == this;
                action(*window);
            });
        // The converter's mixer is no port's: it follows too.
        if (!done)
            action(*this);
    };
    switch (id) {
    case kMixerMuteAll:
    case kMixerUnmuteAll:
        m_owner.MuteAll(id == kMixerMuteAll);
        RedrawAll();
        return;
    case kMixerSoloAll:
    case kMixerUnsoloAll:
        m_owner.SoloAll(id == kMixerSoloAll);
        RedrawAll();
        return;
    case kMixerTopMost:
        if (g_Settings)
            g_Settings->TopMost.Set(g_Settings->TopMost.Get() == 1 ? 0 : 1);
        onEveryMixer([](CMixerDialog& window) { window.ApplyTopMost(); });
        return;
    case kMixerZoom100:
    case kMixerZoom100 + 1:
    case kMixerZoom100 + 2:
    case kMixerZoom100 + 3: {
        static const DWORD zooms[] = {100, 125, 150, 200};
        if (g_Settings)
            g_Settings->Zoom.Set(zooms[id - kMixerZoom100]);
        onEveryMixer([](CMixerDialog& window) { window.ApplyLayout(); });
        return;
    }
    case kMixerLoad:
        LoadStateFromFile();
        return;
    case kMixerSave:
        SaveStateToFile();
        return;
    case kMixerReset:
        m_owner.ResetMixer();
        RedrawAll();
        return;
    case kMixerSystemMixer:
        ShellOpen(L"open", L"sndvol.exe", L"/P", SW_SHOWNORMAL);
        return;
    }
}

// --- Lifetime ---

void CMixerDialog::OnCancel()
{
    // The close box and Esc: the owner forgets this window before it goes.
    m_owner.SetMixerWindow(nullptr, nullptr);
    Destroy();
}

void CMixerDialog::OnDestroy()
{
    StopMeterThread(5000);
    m_owner.SaveMixerState();
    if (g_Settings)
        g_Settings->SaveWindowPlacement(L"Mixer", m_hWnd, m_owner.Label);
}

void CMixerDialog::OnFinalDestroy()
{
    if (m_owner.MixerWindow == this)
        m_owner.SetMixerWindow(nullptr, nullptr);
    PostForDeletion();
}

INT_PTR CMixerDialog::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(m_background.Get());
    case WM_KEYDOWN:
    case WM_KEYUP:
        if (OnKey(msg, wparam, lparam))
            return TRUE;
        break;
    case WM_LBUTTONDOWN:
        // The background is a handle for the whole window, like a caption.
        ::ReleaseCapture();
        ::SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return TRUE;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        ShowContextMenu();
        return TRUE;
    case WM_ACTIVATE:
        // Without a control to focus, keys would reach the window only as
        // system keys; keep the focus on the window whenever it is activated.
        if (LOWORD(wparam) != WA_INACTIVE) {
            ::SetFocus(m_hWnd);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        // At once rather than through the dialog manager's posted IDCANCEL:
        // the tray closes every mixer just before the message loop ends.
        OnCancel();
        return TRUE;
    case WM_TSL_MIXER_REFRESH:
        RefreshStrip(static_cast<DWORD>(wparam));
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        break;
    }
    return CDpiAwareDialog::DialogProc(msg, wparam, lparam);
}
