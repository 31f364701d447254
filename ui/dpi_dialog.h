// The base of every window of the program that has a dialog template: it scales
// itself and its controls to the DPI of the monitor it is on (also when dragged
// to a monitor of another DPI), uses the system's message font for that DPI,
// snaps to the work area and to other windows while dragged when "SnapWindows"
// is on, and keeps its controls placed through a resizer.
//
// Lifetime: a dialog run modally (DoModal) lives on its caller's stack and is
// never deleted by this class. A modeless window (DoModeless) that its creator
// does not own calls PostForDeletion from OnFinalDestroy, and the tray deletes
// it from its own loop.
#pragma once

#include "ui/gdi_object.h"
#include "ui/resizer.h"
#include "ui/win32xx/dialog.h"
#include "ui/window_snapper.h"

class CDpiAwareDialog : public Win32xx::CDialog {
public:
    explicit CDpiAwareDialog(UINT templateId) : CDialog(templateId) {}
    explicit CDpiAwareDialog(const DLGTEMPLATE* memoryTemplate) : CDialog(memoryTemplate) {}

    UINT GetDpi() const noexcept { return m_dpi; }
    float GetScale() const noexcept { return m_scale; }
    // A length designed at 96 DPI, at this window's DPI (truncated).
    int Scale(int units96) const noexcept { return static_cast<int>(units96 * m_scale); }
    Win32xx::CResizer& Resizer() noexcept { return m_resizer; }
    HFONT DialogFont() const noexcept { return m_font ? m_font.Get() : reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)); }

    // The smallest window rectangle the user can drag the window to, in pixels
    // at the current DPI; scaled along with the window when the DPI changes.
    void SetMinWindowRect(const RECT& r) noexcept { m_minWindow = r; }
    const RECT& MinWindowRect() const noexcept { return m_minWindow; }

    // The DPI of the monitor `wnd` is on (the screen's when the system cannot say).
    static UINT WindowDpi(HWND wnd);
    // The system's message font for `dpi`, as a new font.
    static HFONT CreateMessageFont(UINT dpi);

protected:
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    // After the window and its controls took a new DPI: derived windows rebuild
    // what they draw themselves.
    virtual void AfterDpiChange() {}
    // At WM_NCDESTROY. Modeless windows clear the references others keep to
    // them and call PostForDeletion; modal dialogs leave it empty.
    virtual void OnFinalDestroy() {}
    // Hands this object to the tray for deletion after the window is gone. Only
    // for windows created with DoModeless.
    void PostForDeletion();

private:
    void SetUpDpi();
    void OnDpiChanged(UINT newDpi, const RECT* suggested);
    void ApplyFont(UINT dpi, bool children);

    UINT m_dpi = 96;
    float m_scale = 1.0f;
    Win32xx::CResizer m_resizer;
    bool m_changingDpi = false;
    RECT m_minWindow{};
    CWindowSnapper m_snapper;
    CFont m_font;
};
