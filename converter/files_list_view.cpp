#include "converter/files_list_view.h"

#include <commctrl.h>
#include <shellapi.h>

namespace {
constexpr UINT_PTR kSubclassId = 0x7C0;
}

CMidiFilesListView::~CMidiFilesListView()
{
    if (m_list && IsWindow(m_list))
        RemoveWindowSubclass(m_list, &Proc, kSubclassId);
}

void CMidiFilesListView::Attach(HWND list)
{
    m_list = list;
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    SetWindowSubclass(list, &Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void CMidiFilesListView::SetColumns(const std::wstring& source, const std::wstring& key, const std::wstring& output)
{
    const std::wstring* titles[] = {&source, &key, &output};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(titles[i]->c_str());
        column.cx = 100;
        column.iSubItem = i;
        if (SendMessageW(m_list, LVM_SETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)) == FALSE)
            SendMessageW(m_list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void CMidiFilesListView::SetCount(size_t count)
{
    ListView_SetItemCountEx(m_list, static_cast<int>(count), LVSICF_NOSCROLL);
    Redraw();
}

void CMidiFilesListView::SizeColumns()
{
    for (int i = 0; i < 3; ++i) {
        ListView_SetColumnWidth(m_list, i, LVSCW_AUTOSIZE_USEHEADER);
        // Owner-data lines are not always measured: never narrower than the title.
        wchar_t title[128] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = title;
        column.cchTextMax = 128;
        if (SendMessageW(m_list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column))) {
            const int minimum = ListView_GetStringWidth(m_list, title) + 16;
            if (ListView_GetColumnWidth(m_list, i) < minimum)
                ListView_SetColumnWidth(m_list, i, minimum);
        }
    }
}

void CMidiFilesListView::Redraw() { InvalidateRect(m_list, nullptr, TRUE); }

void CMidiFilesListView::AcceptDrops(bool accept) { DragAcceptFiles(m_list, accept ? TRUE : FALSE); }

std::vector<size_t> CMidiFilesListView::Selected() const
{
    std::vector<size_t> indexes;
    for (int i = ListView_GetNextItem(m_list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(m_list, i, LVNI_SELECTED))
        indexes.push_back(static_cast<size_t>(i));
    return indexes;
}

void CMidiFilesListView::SelectOnly(size_t index)
{
    ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    const int i = static_cast<int>(index);
    ListView_SetItemState(m_list, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(m_list, i, FALSE);
}

void CMidiFilesListView::SelectAll() { ListView_SetItemState(m_list, -1, LVIS_SELECTED, LVIS_SELECTED); }

void CMidiFilesListView::PaintHelp()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_list, &ps);
    RECT client;
    GetClientRect(m_list, &client);
    if (HWND header = ListView_GetHeader(m_list)) {
        RECT h;
        GetWindowRect(header, &h);
        client.top += h.bottom - h.top;
    }
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    InflateRect(&client, -8, -8);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_list, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INACTIVECAPTION));
    // Centred vertically: measure first, then place.
    RECT measure = client;
    DrawTextW(dc, m_help.c_str(), -1, &measure, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    const int height = measure.bottom - measure.top;
    if (height < client.bottom - client.top)
        client.top += (client.bottom - client.top - height) / 2;
    DrawTextW(dc, m_help.c_str(), -1, &client, DT_CENTER | DT_WORDBREAK);
    SelectObject(dc, old);
    EndPaint(m_list, &ps);
}

LRESULT CALLBACK CMidiFilesListView::Proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data)
{
    auto* self = reinterpret_cast<CMidiFilesListView*>(data);
    switch (msg) {
    case WM_PAINT:
        if (ListView_GetItemCount(wnd) == 0) {
            self->PaintHelp();
            return 0;
        }
        break;
    case WM_SIZE:
        if (ListView_GetItemCount(wnd) == 0)
            InvalidateRect(wnd, nullptr, TRUE);
        break;
    case WM_KEYDOWN:
        if (wparam == 'A' && (GetKeyState(VK_CONTROL) & 0x8000)) {
            self->SelectAll();
            return 0;
        }
        break;
    case WM_DROPFILES:
        SendMessageW(GetParent(wnd), WM_TSL_FILES_DROPPED, wparam, 0);
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(wnd, &Proc, kSubclassId);
        self->m_list = nullptr;
        break;
    }
    return DefSubclassProc(wnd, msg, wparam, lparam);
}
