#include "configurator/soundfont_list_box.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "configurator/resource_ids.h"
#include "core/language.h"

namespace {

// Cells: a port that plays the entry is filled in the selection colour.
void DrawCell(HDC dc, const RECT& cell, bool on, const wchar_t* label)
{
    HBRUSH fill = ::CreateSolidBrush(on ? RGB(46, 160, 67) : RGB(230, 230, 230));
    HPEN pen = ::CreatePen(PS_SOLID, 1, on ? RGB(28, 110, 45) : RGB(160, 160, 160));
    HGDIOBJ oldBrush = ::SelectObject(dc, fill);
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    const int round = (cell.right - cell.left) / 4;
    ::RoundRect(dc, cell.left, cell.top, cell.right, cell.bottom, round, round);
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    ::DeleteObject(pen);
    ::DeleteObject(fill);
    if (label && *label) {
        RECT text = cell;
        ::SetTextColor(dc, on ? RGB(255, 255, 255) : RGB(110, 110, 110));
        ::DrawTextW(dc, label, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}

int TextHeight(HWND wnd)
{
    HDC dc = ::GetDC(wnd);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    if (old)
        ::SelectObject(dc, old);
    ::ReleaseDC(wnd, dc);
    return tm.tmHeight > 0 ? tm.tmHeight : 13;
}

}  // namespace

void CSoundFontListBox::Bind(SoundFontList* entries, DWORD portCount) noexcept
{
    m_entries = entries;
    m_portCount = std::clamp<DWORD>(portCount, 1, 32);
}

void CSoundFontListBox::UpdateMetrics(float scale)
{
    m_margin = std::max(2, static_cast<int>(3 * scale));
    m_lineHeight = TextHeight(GetHwnd());
    m_itemHeight = 2 * m_lineHeight + 2 * m_margin + static_cast<int>(2 * scale);
    m_cellWidth = std::max(m_itemHeight - 2 * m_margin, static_cast<int>(20 * scale));
    ::SendMessageW(GetHwnd(), LB_SETITEMHEIGHT, 0, m_itemHeight);
    UpdateHorizontalExtent();
    ::InvalidateRect(GetHwnd(), nullptr, TRUE);
}

void CSoundFontListBox::Refill()
{
    HWND list = GetHwnd();
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    if (m_entries)
        for (size_t i = 0; i < m_entries->size(); ++i)
            ::SendMessageW(list, LB_ADDSTRING, 0, static_cast<LPARAM>(i));
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    UpdateHorizontalExtent();
    ::InvalidateRect(list, nullptr, TRUE);
}

void CSoundFontListBox::UpdateHorizontalExtent()
{
    if (!m_entries)
        return;
    HWND list = GetHwnd();
    HDC dc = ::GetDC(list);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    int widest = 0;
    for (const SoundFontEntry& entry : *m_entries) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, entry.FileName.c_str(), static_cast<int>(entry.FileName.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    if (old)
        ::SelectObject(dc, old);
    ::ReleaseDC(list, dc);
    const int cells = static_cast<int>(m_portCount) * m_cellWidth;
    ::SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(cells + widest + 4 * m_margin), 0);
}

std::wstring CSoundFontListBox::OptionsLine(const SoundFontEntry& entry) const
{
    const std::wstring preset = entry.Preset == -1 ? GetText(L"common.all") : std::to_wstring(entry.Preset);
    return GetText(L"cfg.sf.preload") + L": " + GetText(entry.Preload ? L"common.yes" : L"common.no") + L" - " +
           GetText(L"cfg.sf.preset") + L": " + preset + L" - " + GetText(L"cfg.sf.bank") + L": " +
           std::to_wstring(entry.Bank) + L" - " + GetText(L"cfg.sf.volume") + L": " + std::to_wstring(entry.Volume) +
           L"% - " + GetText(L"cfg.sf.size") + L": " + std::to_wstring(entry.FileSize / 1048576) + L" MB";
}

void CSoundFontListBox::DrawItem(const DRAWITEMSTRUCT& item)
{
    if (!m_entries || item.itemID == static_cast<UINT>(-1) || item.itemData >= m_entries->size())
        return;
    const SoundFontEntry& entry = (*m_entries)[item.itemData];
    HDC dc = item.hDC;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    ::FillRect(dc, &item.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int saved = ::SaveDC(dc);
    ::SetBkMode(dc, TRANSPARENT);

    // The list scrolls sideways: the cells move with the text.
    const int scroll = ::GetScrollPos(GetHwnd(), SB_HORZ);
    int x = item.rcItem.left - scroll;
    for (DWORD port = 0; port < m_portCount; ++port) {
        RECT cell = {x + m_margin, item.rcItem.top + m_margin, x + m_cellWidth - m_margin / 2, item.rcItem.bottom - m_margin};
        const std::wstring label = m_portCount > 1 ? std::to_wstring(port + 1) : std::wstring();
        DrawCell(dc, cell, (entry.EnabledPorts >> port) & 1, label.c_str());
        x += m_cellWidth;
    }
    RECT text = {x + 2 * m_margin, item.rcItem.top + m_margin, item.rcItem.right, item.rcItem.bottom - m_margin};
    ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    const std::wstring lines = entry.FileName + L"\n" + OptionsLine(entry);
    ::DrawTextW(dc, lines.c_str(), -1, &text, DT_LEFT | DT_TOP | DT_NOPREFIX);
    ::RestoreDC(dc, saved);
    if (item.itemState & ODS_FOCUS)
        ::DrawFocusRect(dc, &item.rcItem);
}

void CSoundFontListBox::TogglePort(int reference, DWORD port, bool allPorts)
{
    if (!m_entries || reference < 0 || static_cast<size_t>(reference) >= m_entries->size() || port >= m_portCount)
        return;
    const bool wasOn = ((*m_entries)[static_cast<size_t>(reference)].EnabledPorts >> port) & 1;
    const DWORD all = PortMask(m_portCount);
    for (int index : Selection()) {
        if (static_cast<size_t>(index) >= m_entries->size())
            continue;
        DWORD& mask = (*m_entries)[static_cast<size_t>(index)].EnabledPorts;
        if (allPorts)
            mask = wasOn ? 0 : all;
        else if (wasOn)
            mask &= ~(1u << port);
        else
            mask |= 1u << port;
    }
    ::InvalidateRect(GetHwnd(), nullptr, FALSE);
    NotifyPortsChanged();
}

void CSoundFontListBox::NotifyPortsChanged()
{
    HWND list = GetHwnd();
    ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), kPortsChangedCode),
                   reinterpret_cast<LPARAM>(list));
}

bool CSoundFontListBox::OnLeftButtonDown(WPARAM keys, LPARAM point)
{
    const int x = GET_X_LPARAM(point) + ::GetScrollPos(GetHwnd(), SB_HORZ);
    const int y = GET_Y_LPARAM(point);
    if (x < 0 || x >= static_cast<int>(m_portCount) * m_cellWidth)
        return false;
    const LRESULT hit = ::SendMessageW(GetHwnd(), LB_ITEMFROMPOINT, 0, point);
    if (HIWORD(hit) != 0)
        return false;
    const int index = LOWORD(hit);
    RECT itemRect{};
    if (::SendMessageW(GetHwnd(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&itemRect)) == LB_ERR)
        return false;
    if (y < itemRect.top + m_margin || y >= itemRect.bottom - m_margin)
        return false;
    ::SetFocus(GetHwnd());
    if (!IsSelected(index)) {
        SelectOnly(index);
        HWND list = GetHwnd();
        ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), LBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(list));
    }
    TogglePort(index, static_cast<DWORD>(x / m_cellWidth), (keys & MK_CONTROL) != 0);
    return true;
}

bool CSoundFontListBox::OnKeyDown(WPARAM key)
{
    if (key == 'A' && ::GetKeyState(VK_CONTROL) < 0) {
        SelectAll();
        HWND list = GetHwnd();
        ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), LBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(list));
        return true;
    }
    int port = -1;
    if (key >= '1' && key <= '9')
        port = static_cast<int>(key - '1');
    else if (key >= VK_NUMPAD1 && key <= VK_NUMPAD9)
        port = static_cast<int>(key - VK_NUMPAD1);
    if (port < 0)
        return false;
    const std::vector<int> selection = Selection();
    if (!selection.empty() && static_cast<DWORD>(port) < m_portCount)
        TogglePort(selection.front(), static_cast<DWORD>(port), false);
    return true;
}

void CSoundFontListBox::PaintEmpty()
{
    HWND list = GetHwnd();
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(list, &ps);
    RECT client{};
    ::GetClientRect(list, &client);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_WINDOW));
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    const std::wstring help = GetText(L"cfg.sf.listHelp");
    RECT area = client;
    ::InflateRect(&area, -4 * m_margin, -2 * m_margin);
    RECT measure = area;
    ::DrawTextW(dc, help.c_str(), -1, &measure, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    const int height = measure.bottom - measure.top;
    area.top += std::max(0, (static_cast<int>(area.bottom - area.top) - height) / 2);
    ::DrawTextW(dc, help.c_str(), -1, &area, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    if (old)
        ::SelectObject(dc, old);
    ::EndPaint(list, &ps);
}

bool CSoundFontListBox::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
        result = 0;
        return OnLeftButtonDown(wparam, lparam);
    case WM_LBUTTONDBLCLK:
        if (HWND edit = ::GetDlgItem(::GetParent(GetHwnd()), IDC_SF_EDIT); edit && ::IsWindowEnabled(edit))
            ::SendMessageW(edit, BM_CLICK, 0, 0);
        result = 0;
        return true;
    case WM_KEYDOWN:
        result = 0;
        return OnKeyDown(wparam);
    case WM_CHAR:
        // Digits switch ports (on key-down); they never search the list.
        if ((wparam >= '0' && wparam <= '9') || wparam == 1 /* Ctrl+A */) {
            result = 0;
            return true;
        }
        return false;
    case WM_PAINT:
        if (Count() == 0) {
            PaintEmpty();
            result = 0;
            return true;
        }
        return false;
    case WM_SIZE:
        if (Count() == 0)
            ::InvalidateRect(GetHwnd(), nullptr, TRUE);
        return false;
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wparam);
        const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            ::DragQueryFileW(drop, i, path.data(), length + 1);
            path.resize(length);
            if (m_onDrop)
                m_onDrop(path);
        }
        ::DragFinish(drop);
        result = 0;
        return true;
    }
    }
    return false;
}
