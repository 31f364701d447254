#include "ui/list_box_ex.h"

#include <commctrl.h>

namespace {
constexpr UINT_PTR kSubclassId = 0x4C425845;  // one subclass of this kind per list box
}

CListBoxEx::~CListBoxEx() { Detach(); }

void CListBoxEx::Attach(HWND list)
{
    Detach();
    if (list && ::SetWindowSubclass(list, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        m_list = list;
}

void CListBoxEx::Detach()
{
    if (m_list && ::IsWindow(m_list))
        ::RemoveWindowSubclass(m_list, SubclassProc, kSubclassId);
    m_list = nullptr;
}

int CListBoxEx::Count() const
{
    const LRESULT count = ::SendMessageW(m_list, LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

std::vector<int> CListBoxEx::Selection() const
{
    const LRESULT count = ::SendMessageW(m_list, LB_GETSELCOUNT, 0, 0);
    if (count == LB_ERR || count <= 0)
        return {};
    std::vector<int> items(static_cast<size_t>(count));
    const LRESULT got = ::SendMessageW(m_list, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(items.data()));
    items.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
    return items;
}

bool CListBoxEx::IsSelected(int index) const { return ::SendMessageW(m_list, LB_GETSEL, static_cast<WPARAM>(index), 0) > 0; }

void CListBoxEx::SetSelected(int index, bool selected)
{
    ::SendMessageW(m_list, LB_SETSEL, selected, static_cast<LPARAM>(index));
}

void CListBoxEx::SelectOnly(int index)
{
    ClearSelection();
    SetSelected(index, true);
    ::SendMessageW(m_list, LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
}

void CListBoxEx::SelectAll() { ::SendMessageW(m_list, LB_SETSEL, TRUE, -1); }

void CListBoxEx::ClearSelection() { ::SendMessageW(m_list, LB_SETSEL, FALSE, -1); }

bool CListBoxEx::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CListBoxEx::Default(UINT msg, WPARAM wparam, LPARAM lparam)
{
    return ::DefSubclassProc(m_list, msg, wparam, lparam);
}

LRESULT CALLBACK CListBoxEx::SubclassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data)
{
    auto* self = reinterpret_cast<CListBoxEx*>(data);
    if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
        if (self)
            self->m_list = nullptr;
        return ::DefSubclassProc(hwnd, msg, wparam, lparam);
    }
    LRESULT result = 0;
    try {
        if (self && self->OnMessage(msg, wparam, lparam, result))
            return result;
    } catch (...) {
        // Nothing may cross the system's window procedure.
    }
    return ::DefSubclassProc(hwnd, msg, wparam, lparam);
}
