// Dialogs from resource templates, modal or modeless, with the same virtual
// message dispatch as plain windows.
#pragma once

#include "ui/win32xx/wnd.h"

namespace Win32xx {

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId) : m_templateId(templateId) {}
    // A dialog from an in-memory template (DLGTEMPLATE followed by its items).
    explicit CDialog(const DLGTEMPLATE* memoryTemplate) : m_memoryTemplate(memoryTemplate) {}

    // Runs the dialog modally; returns the value passed to EndDialog, or -1.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog modeless; throws CWinException when it cannot.
    HWND DoModeless(HWND parent = nullptr);
    bool IsModal() const noexcept { return m_modal; }

    void EndDialog(INT_PTR result);
    BOOL PreTranslateMessage(MSG& msg) override;

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Dialog messages; return TRUE when handled (the result goes through
    // DWLP_MSGRESULT for messages that need one).
    virtual INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam);
    LRESULT FinalWindowProc(UINT msg, WPARAM wparam, LPARAM lparam) override;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

    UINT m_templateId = 0;
    const DLGTEMPLATE* m_memoryTemplate = nullptr;
    bool m_modal = false;
};

} // namespace Win32xx
