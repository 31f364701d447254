// CListBoxEx: a list box of a dialog template, subclassed so a derived class
// can take its mouse, keyboard, painting and drop messages before the list box
// does, with the selection operations of multi-selection lists.
#pragma once

#include <windows.h>

#include <vector>

class CListBoxEx {
public:
    CListBoxEx() = default;
    CListBoxEx(const CListBoxEx&) = delete;
    CListBoxEx& operator=(const CListBoxEx&) = delete;
    virtual ~CListBoxEx();

    void Attach(HWND list);
    void Detach();
    HWND GetHwnd() const noexcept { return m_list; }

    int Count() const;
    // The selected items' indices, ascending.
    std::vector<int> Selection() const;
    bool IsSelected(int index) const;
    void SetSelected(int index, bool selected);
    void SelectOnly(int index);
    void SelectAll();
    void ClearSelection();

protected:
    // Offered every message first; true when handled, with `result` the answer.
    virtual bool OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);
    // The list box's own handling.
    LRESULT Default(UINT msg, WPARAM wparam, LPARAM lparam);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR id, DWORD_PTR data);

    HWND m_list = nullptr;
};
