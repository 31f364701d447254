#include "configurator/tab_mapper.h"

#include "configurator/resource_ids.h"
#include "core/language.h"
#include "core/message_box.h"
#include "core/system_error.h"
#include "install/default_device.h"
#include "ui/shell.h"

namespace {
constexpr wchar_t kPortvanePage[] = L"https://www.ambrella-tessaline.net/portvane";
}

CConfiguratorTabDefaultDevice::CConfiguratorTabDefaultDevice(CConfigurator& owner)
    : CConfiguratorTabBase(IDD_PAGE_MIDI_MAPPER, owner)
{
    // The template's extended drop-down lists and link text.
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_USEREX_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&classes);
}

void CConfiguratorTabDefaultDevice::Fill(int listId, std::optional<size_t> selected)
{
    HWND list = ::GetDlgItem(m_hWnd, listId);
    ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
    // Appended in order: a row's device is m_rows.devices[row], never the row number.
    for (const std::wstring& name : m_rows.names) {
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT;
        item.iItem = -1;
        item.pszText = const_cast<wchar_t*>(name.c_str());
        ::SendMessageW(list, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageW(list, CB_SETCURSEL, selected ? static_cast<WPARAM>(*selected) : static_cast<WPARAM>(-1), 0);
}

std::optional<size_t> CConfiguratorTabDefaultDevice::Selection(int listId) const
{
    const LRESULT row = ::SendDlgItemMessageW(m_hWnd, listId, CB_GETCURSEL, 0, 0);
    if (row < 0 || static_cast<size_t>(row) >= m_rows.names.size())
        return std::nullopt;
    return static_cast<size_t>(row);
}

BOOL CConfiguratorTabDefaultDevice::OnInitDialog()
{
    m_rows = MapperRows(MidiOutDeviceNames());
    m_canSetDefault = CanSetDefaultMidiDevice();
    HWND warning = ::GetDlgItem(m_hWnd, IDC_MAP_WARNING);
    if (m_canSetDefault) {
        Fill(IDC_MAP_DEFAULT, m_rows.RowOfName(ReadMidiMapperDevice()));
        ::SetWindowTextW(warning, GetText(L"cfg.midi.warning").c_str());
    } else {
        Fill(IDC_MAP_DEFAULT, std::nullopt);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAP_DEFAULT), FALSE);
        const std::wstring link = std::wstring(L"<a href=\"") + kPortvanePage + L"\">" + kPortvaneDeviceName + L"</a>";
        ::SetWindowTextW(warning, GetText(L"cfg.midi.win8warning", link).c_str());
    }
    std::optional<size_t> wmpRow;
    if (std::optional<DWORD> index = ReadMediaPlayerDevice())
        wmpRow = m_rows.RowOfDevice(*index);
    Fill(IDC_MAP_WMP, wmpRow);

    Resizer().Initialize(m_hWnd, {0, 0, Scale(300), Scale(200)});
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        Resizer().AddChild(child, Win32xx::kAnchorLeft | Win32xx::kAnchorTop | Win32xx::kAnchorRight);
    ApplyLanguage();
    return TRUE;
}

INT_PTR CConfiguratorTabDefaultDevice::DialogProc(UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_COMMAND && HIWORD(wparam) == CBN_SELCHANGE &&
        (LOWORD(wparam) == IDC_MAP_DEFAULT || LOWORD(wparam) == IDC_MAP_WMP)) {
        SetModified(true);
        return TRUE;
    }
    if (msg == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (header->idFrom == IDC_MAP_WARNING && (header->code == NM_CLICK || header->code == NM_RETURN)) {
            const auto* link = reinterpret_cast<const NMLINK*>(lparam);
            ShellOpen(L"open", link->item.szUrl, nullptr, SW_SHOWNORMAL);
            return TRUE;
        }
    }
    return CConfiguratorTabBase::DialogProc(msg, wparam, lparam);
}

bool CConfiguratorTabDefaultDevice::Save(UINT)
{
    if (!IsModified())
        return true;
    if (std::optional<size_t> row = Selection(IDC_MAP_DEFAULT); m_canSetDefault && row) {
        if (LSTATUS status = WriteMidiMapperDevice(m_rows.names[*row]); status != ERROR_SUCCESS) {
            ShowMessage(FormatSystemError(static_cast<DWORD>(status)), MB_OK | MB_ICONERROR, m_hWnd);
            ShowMessage(L"Error setting default MIDI device", MB_OK | MB_ICONERROR, m_hWnd);
        }
    }
    if (std::optional<size_t> row = Selection(IDC_MAP_WMP)) {
        // The device's index now: one that vanished since the page opened writes
        // nothing rather than naming whichever device took its place.
        if (std::optional<UINT> index = DeviceIndexOf(MidiOutDeviceNames(), m_rows.names[*row])) {
            if (WriteMediaPlayerDevice(*index) != ERROR_SUCCESS)
                ShowMessage(L"Error setting default Windows Media Player device", MB_OK | MB_ICONERROR, m_hWnd);
        }
    }
    SetModified(false);
    return true;
}
