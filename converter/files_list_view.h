// The converter's list of files: a report-style list view whose lines hold no
// text of their own (the window answers LVN_GETDISPINFO from its records), an
// explanation painted while it is empty, Ctrl+A, and files dropped on it
// handed to the window.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Sent to the list's parent with the HDROP in wParam; the parent frees it.
constexpr UINT WM_TSL_FILES_DROPPED = WM_APP + 0x340;

class CMidiFilesListView {
public:
    CMidiFilesListView() = default;
    ~CMidiFilesListView();
    CMidiFilesListView(const CMidiFilesListView&) = delete;
    CMidiFilesListView& operator=(const CMidiFilesListView&) = delete;

    void Attach(HWND list);
    HWND Get() const { return m_list; }
    void SetColumns(const std::wstring& source, const std::wstring& key, const std::wstring& output);
    void SetHelpText(const std::wstring& text) { m_help = text; }
    void SetCount(size_t count);
    void SizeColumns();
    void Redraw();
    void AcceptDrops(bool accept);

    std::vector<size_t> Selected() const;
    void SelectOnly(size_t index);
    void SelectAll();

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void PaintHelp();

    HWND m_list = nullptr;
    std::wstring m_help;
};
