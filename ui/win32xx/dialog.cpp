#include "ui/win32xx/dialog.h"

namespace Win32xx {

INT_PTR CDialog::DoModal(HWND parent)
{
    m_modal = true;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    INT_PTR result = m_memoryTemplate
        ? ::DialogBoxIndirectParamW(instance, m_memoryTemplate, parent, StaticDialogProc, reinterpret_cast<LPARAM>(this))
        : ::DialogBoxParamW(instance, MAKEINTRESOURCEW(m_templateId), parent, StaticDialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

HWND CDialog::DoModeless(HWND parent)
{
    m_modal = false;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    HWND hwnd = m_memoryTemplate
        ? ::CreateDialogIndirectParamW(instance, m_memoryTemplate, parent, StaticDialogProc, reinterpret_cast<LPARAM>(this))
        : ::CreateDialogParamW(instance, MAKEINTRESOURCEW(m_templateId), parent, StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd)
        throw CWinException("Failed to create dialog.");
    return hwnd;
}

void CDialog::EndDialog(INT_PTR result)
{
    if (m_modal)
        ::EndDialog(m_hWnd, result);
    else
        Destroy();
}

BOOL CDialog::PreTranslateMessage(MSG& msg)
{
    // Modeless dialogs need the system's keyboard navigation (Tab, Enter, Esc).
    if (!m_modal && IsWindow() && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST)
        return ::IsDialogMessageW(m_hWnd, &msg);
    return FALSE;
}

INT_PTR CDialog::DialogProc(UINT msg, WPARAM wparam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        }
        break;
    }
    return FALSE;
}

LRESULT CDialog::FinalWindowProc(UINT, WPARAM, LPARAM)
{
    // Dialogs leave unhandled messages to the system's dialog manager.
    return FALSE;
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    CDialog* dialog = static_cast<CDialog*>(CWnd::FromHandle(hwnd));
    if (!dialog && msg == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lparam);
        dialog->Attach(hwnd);
    }
    if (!dialog)
        return FALSE;
    INT_PTR result = FALSE;
    try {
        result = dialog->DialogProc(msg, wparam, lparam);
    } catch (...) {
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        dialog->Detach();
        dialog->OnFinalMessage();
    }
    return result;
}

} // namespace Win32xx
