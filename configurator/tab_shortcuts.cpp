#include "configurator/tab_shortcuts.h"

#include <cstdio>

#include "configurator/resource_ids.h"
#include "core/language.h"
#include "core/settings.h"

std::wstring MixerKeysReference()
{
    const std::pair<std::wstring, const wchar_t*> lines[] = {
        {L"\u25C4 / \u25BA", L"cfg.key.1"},
        {L"0", L"cfg.key.2"},
        {L"1\u20139", L"cfg.key.3"},
        {GetText(L"cfg.key.4.name") + L"+0\u20136", L"cfg.key.4"},
        {L"\u25B2 / \u25BC", L"cfg.key.5"},
        {GetText(L"cfg.key.6.name"), L"cfg.key.6"},
        {L"M", L"cfg.key.7"},
        {L"S", L"cfg.key.s"},
        {L"R", L"cfg.key.8"},
    };
    std::wstring text;
    for (const auto& [keys, description] : lines) {
        wchar_t line[512];
        std::swprintf(line, std::size(line), L"%-12ls => %ls\r\n", keys.c_str(), GetText(description).c_str());
        text += line;
    }
    return text;
}

CConfiguratorTabShortcuts::CConfiguratorTabShortcuts(CConfigurator& owner)
    : CConfiguratorTabBase(IDD_PAGE_SHORTCUTS, owner)
{
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_HOTKEY_CLASS};
    ::InitCommonControlsEx(&classes);
}

BOOL CConfiguratorTabShortcuts::OnInitDialog()
{
    for (int id : {IDC_KEY_SHOW_MIXER, IDC_KEY_MIDI_PANIC}) {
        // No modifier or Shift alone is no global hotkey: Ctrl is added to them.
        ::SendDlgItemMessageW(m_hWnd, id, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, MAKELPARAM(HOTKEYF_CONTROL, 0));
    }
    ::SendDlgItemMessageW(m_hWnd, IDC_KEY_SHOW_MIXER, HKM_SETHOTKEY, g_Settings->ShowMixer.Get() & 0xFFFF, 0);
    ::SendDlgItemMessageW(m_hWnd, IDC_KEY_MIDI_PANIC, HKM_SETHOTKEY, g_Settings->MIDIPanic.Get() & 0xFFFF, 0);
    ::CheckDlgButton(m_hWnd, IDC_KEY_MIXERS_ALL, g_Settings->ShowMixerAll.Get() ? BST_CHECKED : BST_UNCHECKED);
    ApplyLanguage();
    ::SetDlgItemTextW(m_hWnd, IDC_KEY_REFERENCE, MixerKeysReference().c_str());
    SetReferenceFont();
    Resizer().Initialize(m_hWnd, {0, 0, Scale(300), Scale(200)});
    // The mixer keys' group and text take the room below the hotkeys.
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        const bool reference = id == IDC_KEY_REFERENCE || id == IDC_KEY_REFERENCE_GROUP;
        const bool group = (::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX &&
                           ::GetDlgCtrlID(child) == IDC_STATIC;
        Resizer().AddChild(child, reference ? Win32xx::kAnchorAll
                                  : group   ? Win32xx::kAnchorLeft | Win32xx::kAnchorTop | Win32xx::kAnchorRight
                                            : Win32xx::kAnchorTopLeft);
    }
    return TRUE;
}

void CConfiguratorTabShortcuts::SetReferenceFont()
{
    // The columns line up only in a fixed-pitch font: Courier New at 110 % of
    // the dialog font's height, its other attributes kept.
    LOGFONTW font{};
    ::GetObjectW(DialogFont(), sizeof(font), &font);
    font.lfHeight = font.lfHeight * 11 / 10;
    font.lfWidth = 0;
    wcscpy_s(font.lfFaceName, L"Courier New");
    m_referenceFont.Reset(::CreateFontIndirectW(&font));
    ::SendDlgItemMessageW(m_hWnd, IDC_KEY_REFERENCE, WM_SETFONT, reinterpret_cast<WPARAM>(m_referenceFont.Get()), TRUE);
}

void CConfiguratorTabShortcuts::AfterDpiChange() { SetReferenceFont(); }

void CConfiguratorTabShortcuts::ResetToDefaults()
{
    ::SendDlgItemMessageW(m_hWnd, IDC_KEY_SHOW_MIXER, HKM_SETHOTKEY, g_Settings->ShowMixer.Default(), 0);
    ::SendDlgItemMessageW(m_hWnd, IDC_KEY_MIDI_PANIC, HKM_SETHOTKEY, g_Settings->MIDIPanic.Default(), 0);
    ::CheckDlgButton(m_hWnd, IDC_KEY_MIXERS_ALL, BST_UNCHECKED);
    SetModified(true);
}

INT_PTR CConfiguratorTabShortcuts::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_COMMAND) {
        const int id = LOWORD(wparam);
        if (id == IDC_KEY_RESET && HIWORD(wparam) == BN_CLICKED) {
            ResetToDefaults();
            return TRUE;
        }
        if ((id == IDC_KEY_SHOW_MIXER || id == IDC_KEY_MIDI_PANIC) && HIWORD(wparam) == EN_CHANGE) {
            SetModified(true);
            return TRUE;
        }
        if (id == IDC_KEY_MIXERS_ALL && HIWORD(wparam) == BN_CLICKED) {
            SetModified(true);
            return TRUE;
        }
    }
    return CConfiguratorTabBase::DialogProc(msg, wparam, lparam);
}

bool CConfiguratorTabShortcuts::Save(UINT)
{
    if (!IsModified())
        return true;
    // Set raises the hotkey change flag: the configurator registers them anew.
    g_Settings->ShowMixer.Set(static_cast<DWORD>(::SendDlgItemMessageW(m_hWnd, IDC_KEY_SHOW_MIXER, HKM_GETHOTKEY, 0, 0)) & 0xFFFF);
    g_Settings->ShowMixerAll.Set(::IsDlgButtonChecked(m_hWnd, IDC_KEY_MIXERS_ALL) == BST_CHECKED ? 1 : 0);
    g_Settings->MIDIPanic.Set(static_cast<DWORD>(::SendDlgItemMessageW(m_hWnd, IDC_KEY_MIDI_PANIC, HKM_GETHOTKEY, 0, 0)) & 0xFFFF);
    SetModified(false);
    return true;
}
