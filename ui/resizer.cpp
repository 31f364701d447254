#include "ui/resizer.h"

#include <algorithm>

namespace Win32xx {

namespace {
RECT Scaled(const RECT& r, float f)
{
    return {static_cast<LONG>(r.left * f), static_cast<LONG>(r.top * f), static_cast<LONG>(r.right * f),
            static_cast<LONG>(r.bottom * f)};
}
LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

// Moves or stretches the span [a, b) by `delta` as its two anchors say.
void Follow(LONG& a, LONG& b, LONG delta, bool nearAnchor, bool farAnchor)
{
    if (farAnchor && nearAnchor) {
        b += delta;
    } else if (farAnchor) {
        a += delta;
        b += delta;
    } else if (!nearAnchor) {
        // Anchored to neither edge: keep the child centred in the space it had.
        a += delta / 2;
        b += delta / 2;
    }
}
} // namespace

void CResizer::Initialize(HWND parent, const RECT& minRect, const RECT& maxRect)
{
    m_parent = parent;
    m_min = minRect;
    m_max = maxRect;
    m_entries.clear();
}

void CResizer::AddChild(HWND child, UINT anchors)
{
    if (!m_parent || !child)
        return;
    RemoveChild(child);
    Entry e{child, anchors, {}, {}};
    ::GetWindowRect(child, &e.rect);
    ::MapWindowPoints(nullptr, m_parent, reinterpret_cast<POINT*>(&e.rect), 2);
    ::GetClientRect(m_parent, &e.parentClient);
    m_entries.push_back(e);
}

void CResizer::RemoveChild(HWND child)
{
    std::erase_if(m_entries, [child](const Entry& e) { return e.wnd == child; });
}

RECT CResizer::Place(const Entry& e, SIZE client, const RECT& minRect, const RECT& maxRect)
{
    LONG cx = client.cx, cy = client.cy;
    if (Width(minRect) > 0)
        cx = std::max(cx, Width(minRect));
    if (Height(minRect) > 0)
        cy = std::max(cy, Height(minRect));
    if (Width(maxRect) > 0)
        cx = std::min(cx, Width(maxRect));
    if (Height(maxRect) > 0)
        cy = std::min(cy, Height(maxRect));
    RECT r = e.rect;
    Follow(r.left, r.right, cx - Width(e.parentClient), e.anchors & kAnchorLeft, e.anchors & kAnchorRight);
    Follow(r.top, r.bottom, cy - Height(e.parentClient), e.anchors & kAnchorTop, e.anchors & kAnchorBottom);
    return r;
}

void CResizer::RecalcLayout()
{
    if (!m_parent || m_entries.empty())
        return;
    RECT client{};
    ::GetClientRect(m_parent, &client);
    HDWP dwp = ::BeginDeferWindowPos(static_cast<int>(m_entries.size()));
    for (const Entry& e : m_entries) {
        if (!::IsWindow(e.wnd))
            continue;
        RECT r = Place(e, {Width(client), Height(client)}, m_min, m_max);
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;
        if (dwp)
            dwp = ::DeferWindowPos(dwp, e.wnd, nullptr, r.left, r.top, Width(r), Height(r), flags);
        else
            ::SetWindowPos(e.wnd, nullptr, r.left, r.top, Width(r), Height(r), flags);
    }
    if (dwp)
        ::EndDeferWindowPos(dwp);
    // Group boxes and static frames do not repaint what moved across them.
    ::InvalidateRect(m_parent, nullptr, TRUE);
}

void CResizer::HandleMessage(UINT msg, WPARAM wparam, LPARAM)
{
    if (msg == WM_SIZE && wparam != SIZE_MINIMIZED)
        RecalcLayout();
}

void CResizer::ScaleChild(HWND child, float f)
{
    for (Entry& e : m_entries) {
        if (e.wnd == child) {
            e.rect = Scaled(e.rect, f);
            e.parentClient = Scaled(e.parentClient, f);
        }
    }
}

void CResizer::ScaleBounds(float f)
{
    m_min = Scaled(m_min, f);
    m_max = Scaled(m_max, f);
}

} // namespace Win32xx
