#include "configurator/tab_updates.h"

#include "configurator/resource_ids.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "ui/shell.h"

namespace {
constexpr wchar_t kProductPage[] = L"https://www.ambrella-tessaline.net/";
constexpr DWORD kFrequencies[] = {0, 7, 14, 30, 60};
} // namespace

CConfiguratorTabUpdates::CConfiguratorTabUpdates(CConfigurator& owner)
    : CConfiguratorTabBase(IDD_PAGE_UPDATES, owner), m_checker(g_UpdateChecker)
{
}

BOOL CConfiguratorTabUpdates::OnInitDialog()
{
    HWND list = ::GetDlgItem(m_hWnd, IDC_UPD_FREQUENCY);
    for (DWORD days : kFrequencies) {
        const std::wstring text = days ? GetText(L"cfg.upd.daysx", std::to_wstring(days)) : GetText(L"cfg.upd.days0");
        ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    Resizer().Initialize(m_hWnd, {0, 0, Scale(300), Scale(200)});
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        Resizer().AddChild(child, Win32xx::kAnchorTopLeft);
    ApplyLanguage();
    SetLinkFont();
    Refresh();
    return TRUE;
}

void CConfiguratorTabUpdates::SetLinkFont()
{
    LOGFONTW font{};
    ::GetObjectW(DialogFont(), sizeof(font), &font);
    font.lfUnderline = TRUE;
    m_linkFont.Reset(::CreateFontIndirectW(&font));
}

void CConfiguratorTabUpdates::AfterDpiChange()
{
    SetLinkFont();
    Refresh();
}

void CConfiguratorTabUpdates::Refresh()
{
    const Version current = ParseVersion(kCurrentVersion);
    ::SetDlgItemTextW(m_hWnd, IDC_UPD_CURRENT, FormatVersion(current).c_str());
    const Version found = ParseVersion(g_Settings->LastVersionFound.Get());
    m_newer = found > current;
    std::wstring available;
    if (!IsZero(found))
        available = FormatVersion(found);
    else if (m_checker && !m_checker->LastError().empty())
        available = L"ERROR";
    HWND field = ::GetDlgItem(m_hWnd, IDC_UPD_AVAILABLE);
    ::SetWindowTextW(field, available.c_str());
    ::SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(m_newer && m_linkFont ? m_linkFont.Get() : DialogFont()), TRUE);
    ::SetDlgItemTextW(m_hWnd, IDC_UPD_LAST_CHECK, g_Settings->LastCheck.Get().c_str());
    HWND list = ::GetDlgItem(m_hWnd, IDC_UPD_FREQUENCY);
    ::SendMessageW(list, CB_SETCURSEL, 0, 0);
    for (size_t i = 0; i < std::size(kFrequencies); ++i)
        if (kFrequencies[i] == g_Settings->CheckFrequency.Get())
            ::SendMessageW(list, CB_SETCURSEL, i, 0);
}

void CConfiguratorTabUpdates::CheckNow()
{
    if (!m_checker)
        return;
    // What the last check found stays until this one succeeds.
    if (!m_checker->StartCheck(m_hWnd, kUpdateResultMessage)) {
        ShowMessage(L"Version check is already in progress, please try again later!", MB_OK | MB_ICONINFORMATION,
                    m_hWnd, L"Version check in progress...");
        return;
    }
    ::SetDlgItemTextW(m_hWnd, IDC_UPD_AVAILABLE, L"checking...");
}

void CConfiguratorTabUpdates::OnResult(CheckResult result)
{
    Refresh();
    if (result == CheckResult::NewerAvailable) {
        g_Settings->LastNotify.Set(FormatDate(Today()));
        ShowMessage(GetText(L"cfg.upd.updateAvailable"), MB_OK | MB_ICONINFORMATION, m_hWnd);
    } else if (result == CheckResult::Error) {
        ::SetDlgItemTextW(m_hWnd, IDC_UPD_AVAILABLE, L"Error!");
    }
}

void CConfiguratorTabUpdates::OpenAvailable()
{
    const std::wstring error = m_checker ? m_checker->LastError() : std::wstring();
    if (!error.empty()) {
        ShowMessage(error, MB_OK | MB_ICONERROR, m_hWnd, L"Update check error");
        return;
    }
    // Only a secure web address is handed to the shell: never a file or a program.
    const std::wstring url = g_Settings->LastVersionURL.Get();
    ShellOpen(L"open", IsHttpsUrl(url) ? url.c_str() : kProductPage, nullptr, SW_SHOWNORMAL);
}

INT_PTR CConfiguratorTabUpdates::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case kUpdateResultMessage:
        OnResult(static_cast<CheckResult>(wparam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_UPD_CHECK_NOW && HIWORD(wparam) == BN_CLICKED) {
            CheckNow();
            return TRUE;
        }
        if ((LOWORD(wparam) == IDC_UPD_AVAILABLE || LOWORD(wparam) == IDC_UPD_AVAILABLE_LABEL) &&
            HIWORD(wparam) == STN_CLICKED) {
            OpenAvailable();
            return TRUE;
        }
        if (LOWORD(wparam) == IDC_UPD_FREQUENCY && HIWORD(wparam) == CBN_SELCHANGE) {
            SetModified(true);
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lparam) == ::GetDlgItem(m_hWnd, IDC_UPD_AVAILABLE) && m_newer) {
            INT_PTR brush = CConfiguratorTabBase::DialogProc(msg, wparam, lparam);
            ::SetTextColor(reinterpret_cast<HDC>(wparam), RGB(255, 0, 0));
            return brush;
        }
        break;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wparam) == ::GetDlgItem(m_hWnd, IDC_UPD_AVAILABLE) && m_newer) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        break;
    }
    return CConfiguratorTabBase::DialogProc(msg, wparam, lparam);
}

bool CConfiguratorTabUpdates::Save(UINT)
{
    if (!IsModified())
        return true;
    LRESULT item = ::SendDlgItemMessageW(m_hWnd, IDC_UPD_FREQUENCY, CB_GETCURSEL, 0, 0);
    const DWORD days = item >= 0 && static_cast<size_t>(item) < std::size(kFrequencies) ? kFrequencies[item] : 0;
    g_Settings->CheckFrequency.Set(days);
    if (days == 0) {
        g_Settings->LastCheck.Set(g_Settings->LastCheck.Default());
        g_Settings->LastNotify.Set(g_Settings->LastNotify.Default());
        g_Settings->LastVersionFound.Set(g_Settings->LastVersionFound.Default());
        g_Settings->LastVersionURL.Set(g_Settings->LastVersionURL.Default());
    }
    SetModified(false);
    return true;
}
