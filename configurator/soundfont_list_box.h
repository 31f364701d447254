// CSoundFontListBox: the SoundFonts page's owner-drawn list. Each row shows a
// cell per port (on or off) and two lines: the path and the entry's options.
// Clicking a cell, or typing 1 to 9, switches that port on or off for every
// selected entry; with Ctrl a click switches all ports. Files dropped on the
// list are handed to the page.
#pragma once

#include <functional>
#include <string>

#include "core/settings_soundfont.h"
#include "ui/list_box_ex.h"

// Code of the WM_COMMAND the list sends its page when port cells changed.
constexpr WORD kPortsChangedCode = 0;

class CSoundFontListBox : public CListBoxEx {
public:
    // `entries` is the page's working copy; the list refers to it, never copies it.
    void Bind(SoundFontList* entries, DWORD portCount) noexcept;
    void SetDroppedFileHandler(std::function<void(const std::wstring&)> handler) { m_onDrop = std::move(handler); }
    // Sizes for `scale` (the window's DPI / 96) and the font the list has now.
    void UpdateMetrics(float scale);

    // Rebuilds the items from the working copy (the selection is cleared).
    void Refill();
    void DrawItem(const DRAWITEMSTRUCT& item);

    // Switches `port` (0-based) on every selected entry to the opposite of
    // `reference`'s state of it; with `allPorts`, every port to the opposite.
    void TogglePort(int reference, DWORD port, bool allPorts);

    int CellWidth() const noexcept { return m_cellWidth; }
    int ItemHeight() const noexcept { return m_itemHeight; }
    int Margin() const noexcept { return m_margin; }

protected:
    bool OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    bool OnLeftButtonDown(WPARAM keys, LPARAM point);
    bool OnKeyDown(WPARAM key);
    void PaintEmpty();
    void UpdateHorizontalExtent();
    std::wstring OptionsLine(const SoundFontEntry& entry) const;
    void NotifyPortsChanged();

    SoundFontList* m_entries = nullptr;
    DWORD m_portCount = 1;
    int m_cellWidth = 22;
    int m_itemHeight = 36;
    int m_margin = 3;
    int m_lineHeight = 13;
    std::function<void(const std::wstring&)> m_onDrop;
};
