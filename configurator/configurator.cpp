#include "configurator/configurator.h"

#include <algorithm>
#include <string>

#include "configurator/resource_ids.h"
#include "configurator/save_actions.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/resident_windows.h"
#include "core/settings.h"
#include "core/settings_window.h"
#include "ui/shell.h"

namespace {

constexpr wchar_t kPlacementKey[] = L"Configurator";
constexpr wchar_t kActiveTabKey[] = L"Configurator.ActiveTab";
constexpr wchar_t kWindowsSection[] = L"Windows";
constexpr wchar_t kVersion[] = L"2.14.1";
constexpr wchar_t kDonateUrl[] = L"https://ambrella.example/tessaline/donate";
constexpr wchar_t kWebsiteUrl[] = L"https://ambrella.example/tessaline";
constexpr UINT kIconResource = 137;
constexpr int kMinWidth96 = 650;
constexpr int kMinHeight96 = 500;

void CentreOnWorkArea(HWND window)
{
    RECT r{};
    ::GetWindowRect(window, &r);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info))
        return;
    const RECT& work = info.rcWork;
    const int w = r.right - r.left, h = r.bottom - r.top;
    ::SetWindowPos(window, nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CConfigurator::CConfigurator() : CDpiAwareDialog(IDD_CONFIGURATOR) {}

CConfigurator::~CConfigurator() = default;

CConfigurator* CConfigurator::Open()
{
    auto configurator = std::make_unique<CConfigurator>();
    configurator->m_modeless = true;
    configurator->DoModeless(nullptr);
    ::SetForegroundWindow(*configurator);
    return configurator.release();
}

BOOL CConfigurator::OnInitDialog()
{
    SetMinWindowRect({0, 0, Scale(kMinWidth96), Scale(kMinHeight96)});
    // The template's own size may fall short of the minimum at some fonts.
    RECT r{};
    ::GetWindowRect(m_hWnd, &r);
    if (r.right - r.left < Scale(kMinWidth96) || r.bottom - r.top < Scale(kMinHeight96))
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, std::max<int>(r.right - r.left, Scale(kMinWidth96)),
                       std::max<int>(r.bottom - r.top, Scale(kMinHeight96)), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    m_tabs.Attach(::GetDlgItem(m_hWnd, IDC_CFG_TABS));
    Resizer().AddChild(m_tabs.GetHwnd(), Win32xx::kAnchorAll);
    for (int id : {IDC_CFG_DONATE, IDC_CFG_WEBSITE})
        Resizer().AddChild(::GetDlgItem(m_hWnd, id), Win32xx::kAnchorLeft | Win32xx::kAnchorBottom);
    for (int id : {IDC_CFG_APPLY, IDOK, IDCANCEL})
        Resizer().AddChild(::GetDlgItem(m_hWnd, id), Win32xx::kAnchorRight | Win32xx::kAnchorBottom);

    TranslateWindow(m_hWnd);
    m_tabs.UpdateItemHeight(GetScale());
    CreatePages();
    SetModified(false);

    const std::wstring caption = std::wstring(kAppTitle) + L" - " + kVersion;
    ::SetWindowTextW(m_hWnd, caption.c_str());
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (HICON big = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                                    ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED)))
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (HICON small = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                                      ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED)))
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    int active = 0;
    if (g_Settings)
        active = static_cast<int>(g_Settings->ReadInt(kWindowsSection, kActiveTabKey, 0));
    SelectPage(active >= 0 && active < m_tabs.Count() ? active : 0);

    if (!g_Settings || !g_Settings->RestoreWindowPlacement(kPlacementKey, m_hWnd, true)) {
        CentreOnWorkArea(m_hWnd);
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    }
    LayoutPages();
    return TRUE;
}

void CConfigurator::CreatePages()
{
    for (int i = 0; i < kPageCount; ++i) {
        auto page = MakeConfiguratorPage(i, *this);
        page->DoModeless(m_hWnd);
        // Above the tab control, which would otherwise paint over the page.
        ::SetWindowPos(*page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        m_tabs.AddTab(GetText(ConfiguratorPageTitleKey(i)));
        m_pages[static_cast<size_t>(i)] = std::move(page);
    }
}

void CConfigurator::LayoutPages()
{
    const RECT r = m_tabs.PageRect(m_hWnd);
    for (auto& page : m_pages)
        if (page && page->IsWindow())
            ::SetWindowPos(*page, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
}

void CConfigurator::ShowCurrentPage()
{
    const int current = m_tabs.CurrentTab();
    for (int i = 0; i < kPageCount; ++i)
        if (CConfiguratorTabBase* page = Page(i))
            ::ShowWindow(*page, i == current ? SW_SHOW : SW_HIDE);
}

void CConfigurator::SelectPage(int index)
{
    if (index < 0 || index >= m_tabs.Count())
        return;
    m_tabs.SetCurrentTab(index);
    ShowCurrentPage();
}

CConfiguratorTabBase* CConfigurator::Page(int index) const
{
    return index >= 0 && index < kPageCount ? m_pages[static_cast<size_t>(index)].get() : nullptr;
}

void CConfigurator::SetModified(bool modified)
{
    // A page that saved its changes does not speak for the others: while any
    // page still holds changes (one that refused to save), Apply stays on.
    for (const auto& page : m_pages)
        modified = modified || (page && page->IsModified());
    m_modified = modified;
    if (HWND apply = ::GetDlgItem(m_hWnd, IDC_CFG_APPLY))
        ::EnableWindow(apply, modified);
}

bool CConfigurator::RunSaveSequence(UINT command)
{
    for (auto& page : m_pages)
        if (page && !page->Save(command))
            return false;

    ConfiguratorSaveActions& act = SaveActions();
    if (g_Settings && g_Settings->IsChanged(SettingsChange::PortCount) && act.restartSynth && act.restartSynth())
        return true;
    if (act.allPortsHaveSoundFonts && !act.allPortsHaveSoundFonts() && act.reportMissingSoundFonts)
        act.reportMissingSoundFonts();

    // Every page has saved what it held.
    for (auto& page : m_pages)
        if (page && page->IsModified())
            page->SetModified(false);
    SetModified(false);
    const auto changed = [](SettingsChange flag) { return g_Settings && g_Settings->IsChanged(flag); };
    if (changed(SettingsChange::Audio) && act.reloadEngine)
        act.reloadEngine();
    if (changed(SettingsChange::Hotkey) && act.registerHotkeys)
        act.registerHotkeys();
    if (changed(SettingsChange::VuMeter) && act.applyVuMeter)
        act.applyVuMeter();
    const bool languageChanged = changed(SettingsChange::Language);
    if (languageChanged && act.reloadLanguage)
        act.reloadLanguage();
    if (g_Settings)
        g_Settings->ClearChanges();

    if (command == IDOK) {
        Destroy();
    } else if (languageChanged && m_modeless) {
        // Every text of the window is in the old language: open it afresh.
        Destroy();
        ResidentWindows().OpenConfigurator();
    }
    return true;
}

bool CConfigurator::HandleTabSwitchKey(WPARAM key)
{
    if (key != VK_TAB || ::GetKeyState(VK_CONTROL) >= 0)
        return false;
    const int count = m_tabs.Count();
    if (count <= 0)
        return true;
    const int step = ::GetKeyState(VK_SHIFT) < 0 ? count - 1 : 1;
    SelectPage((m_tabs.CurrentTab() + step) % count);
    return true;
}

BOOL CConfigurator::PreTranslateMessage(MSG& msg)
{
    if (msg.message == WM_KEYDOWN) {
        if (HandleTabSwitchKey(msg.wParam))
            return TRUE;
        // Escape never closes the configurator: the user could lose an hour of changes.
        if (msg.wParam == VK_ESCAPE)
            return TRUE;
    }
    return CDpiAwareDialog::PreTranslateMessage(msg);
}

void CConfigurator::OnOK() { RunSaveSequence(IDOK); }

void CConfigurator::OnCancel()
{
    if (::GetKeyState(VK_ESCAPE) < 0)
        return;
    Destroy();
}

INT_PTR CConfigurator::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_CFG_APPLY:
            RunSaveSequence(IDC_CFG_APPLY);
            return TRUE;
        case IDC_CFG_DONATE:
            ShellOpen(L"open", kDonateUrl, nullptr, SW_SHOWNORMAL);
            return TRUE;
        case IDC_CFG_WEBSITE:
            ShellOpen(L"open", kWebsiteUrl, nullptr, SW_SHOWNORMAL);
            return TRUE;
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (header->hwndFrom == m_tabs.GetHwnd() && header->code == TCN_SELCHANGE) {
            ShowCurrentPage();
            return TRUE;
        }
        break;
    }
    case WM_SIZE: {
        const INT_PTR result = CDpiAwareDialog::DialogProc(msg, wparam, lparam);
        LayoutPages();
        return result;
    }
    case WM_DESTROY:
        OnDestroy();
        break;
    }
    return CDpiAwareDialog::DialogProc(msg, wparam, lparam);
}

void CConfigurator::AfterDpiChange()
{
    m_tabs.UpdateItemHeight(GetScale());
    LayoutPages();
}

void CConfigurator::OnDestroy()
{
    if (!g_Settings)
        return;
    // Written only when different, so opening and closing the window without
    // moving it leaves the configuration file untouched.
    auto store = [](const wchar_t* key, const std::wstring& text) {
        if (!text.empty() && g_Settings->ReadText(kWindowsSection, key, L"", 64) != text)
            g_Settings->WriteText(kWindowsSection, key, text.c_str());
    };
    store(kPlacementKey, FormatWindowPlacement(m_hWnd));
    store(kActiveTabKey, std::to_wstring(m_tabs.CurrentTab()));
}

void CConfigurator::OnFinalDestroy()
{
    if (m_modeless)
        PostForDeletion();
}
