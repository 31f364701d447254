// Keeps a dialog's child controls placed as the dialog is resized: each child
// is anchored to the edges of the dialog's client area it should follow.
#pragma once

#include <windows.h>

#include <vector>

namespace Win32xx {

enum : UINT {
    kAnchorLeft = 1,
    kAnchorTop = 2,
    kAnchorRight = 4,
    kAnchorBottom = 8,
    kAnchorTopLeft = kAnchorLeft | kAnchorTop,
    kAnchorAll = kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom,
};

class CResizer {
public:
    // `minRect` and `maxRect` bound the client size the layout is computed for
    // (an empty rectangle: no bound); a smaller window clips, a larger one leaves space.
    void Initialize(HWND parent, const RECT& minRect = {}, const RECT& maxRect = {});
    // Records the child's current place against the parent's current client size.
    // A child anchored left and right stretches; right only, it moves. Likewise
    // top and bottom. Adding a child again replaces its entry.
    void AddChild(HWND child, UINT anchors);
    void RemoveChild(HWND child);
    // WM_SIZE lays the children out again; every other message is ignored.
    void HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam);
    void RecalcLayout();

    // DPI changes: every stored length of one child, or of the bounds, times `f`.
    void ScaleChild(HWND child, float f);
    void ScaleBounds(float f);

    HWND Parent() const noexcept { return m_parent; }
    const RECT& MinRect() const noexcept { return m_min; }

    struct Entry {
        HWND wnd;
        UINT anchors;
        RECT rect;         // the child's rectangle when recorded
        RECT parentClient; // the parent's client rectangle then
    };
    const std::vector<Entry>& Entries() const noexcept { return m_entries; }

    // Where a child goes for the given parent client size (pure, for tests).
    static RECT Place(const Entry& entry, SIZE client, const RECT& minRect, const RECT& maxRect);

private:
    HWND m_parent = nullptr;
    RECT m_min{};
    RECT m_max{};
    std::vector<Entry> m_entries;
};

} // namespace Win32xx
