#include "ui/window_snapper.h"

#include <dwmapi.h>

#include <cstdlib>

namespace {

bool Intersect(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void MoveX(RECT& r, LONG left)
{
    r.right += left - r.left;
    r.left = left;
}
void MoveY(RECT& r, LONG top)
{
    r.bottom += top - r.top;
    r.top = top;
}

UINT VisibleCorners(HWND wnd)
{
    RECT r{};
    if (!::GetWindowRect(wnd, &r))
        return 0;
    ::InflateRect(&r, -1, -1);
    const POINT corners[4] = {{r.left, r.top}, {r.right, r.top}, {r.left, r.bottom}, {r.right, r.bottom}};
    UINT mask = 0;
    for (int i = 0; i < 4; ++i) {
        if (::WindowFromPoint(corners[i]) == wnd)
            mask |= 1u << i;
    }
    return mask;
}

struct EnumContext {
    HWND self;
    std::map<HWND, UINT>* candidates;
};

BOOL CALLBACK AddCandidate(HWND wnd, LPARAM param)
{
    auto* ctx = reinterpret_cast<EnumContext*>(param);
    // The window being moved would otherwise snap to where it was.
    if (wnd == ctx->self || !::IsWindow(wnd) || !::IsWindowVisible(wnd) || ::IsIconic(wnd) || ::IsZoomed(wnd))
        return TRUE;
    TITLEBARINFO tbi{};
    tbi.cbSize = sizeof(tbi);
    if (!::GetTitleBarInfo(wnd, &tbi) || (tbi.rgstate[0] & STATE_SYSTEM_INVISIBLE))
        return TRUE;
    if (UINT mask = VisibleCorners(wnd))
        (*ctx->candidates)[wnd] = mask;
    return TRUE;
}

} // namespace

RECT SnapRectangle(RECT r, const SnapGeometry& g, const std::vector<SnapCandidate>& candidates)
{
    const LONG d = g.distance;
    MoveX(r, g.cursor.x - g.cursorOffset.x);
    MoveY(r, g.cursor.y - g.cursorOffset.y);

    const RECT& w = g.workArea;
    if (std::labs(w.left - r.left) < d)
        MoveX(r, w.left - g.own.left);
    else if (std::labs(w.right - r.right) < d)
        MoveX(r, r.left + (w.right + g.own.right - r.right));
    if (std::labs(w.top - r.top) < d)
        MoveY(r, w.top - g.own.top);
    else if (std::labs(w.bottom - r.bottom) < d)
        MoveY(r, r.top + (w.bottom + g.own.bottom - r.bottom));

    for (const SnapCandidate& c : candidates) {
        const RECT& o = c.rect;
        const FrameMargins& m = c.margins;
        if (Intersect(r, o))
            continue;
        if (r.bottom > o.top && r.top < o.bottom) {
            if (std::labs(r.left - o.right) < d && (c.corners & (kCornerTopRight | kCornerBottomRight)))
                MoveX(r, o.right - m.right - g.own.left);
            else if (std::labs(o.left - r.right) < d && (c.corners & (kCornerTopLeft | kCornerBottomLeft)))
                MoveX(r, r.left + (o.left + m.left + g.own.right - r.right));
        }
        if (r.left < o.right && r.right > o.left) {
            if (std::labs(r.top - o.bottom) < d && (c.corners & (kCornerBottomLeft | kCornerBottomRight)))
                MoveY(r, o.bottom - m.bottom - g.own.top);
            else if (std::labs(o.top - r.bottom) < d && (c.corners & (kCornerTopLeft | kCornerTopRight)))
                MoveY(r, r.top + (o.top + m.top + g.own.bottom - r.bottom));
        }
    }
    return r;
}

FrameMargins WindowFrameMargins(HWND wnd)
{
    FrameMargins m;
    BOOL composed = FALSE;
    RECT frame{}, window{};
    if (SUCCEEDED(::DwmIsCompositionEnabled(&composed)) && composed &&
        SUCCEEDED(::DwmGetWindowAttribute(wnd, DWMWA_EXTENDED_FRAME_BOUNDS, &frame, sizeof(frame))) &&
        ::GetWindowRect(wnd, &window)) {
        m.left = frame.left - window.left;
        m.top = frame.top - window.top;
        m.right = window.right - frame.right;
        m.bottom = window.bottom - frame.bottom;
    }
    return m;
}

CWindowSnapper::CWindowSnapper()
{
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0))
        m_distance = ncm.iCaptionHeight;
}

void CWindowSnapper::BeginMove(HWND wnd)
{
    m_active = false;
    if (::IsZoomed(wnd))
        return;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    RECT now{};
    if (::GetWindowPlacement(wnd, &wp) && ::GetWindowRect(wnd, &now) && wp.showCmd == SW_SHOWNORMAL &&
        !::EqualRect(&now, &wp.rcNormalPosition)) {
        // Docked by the system to half of the screen: its placement still holds
        // the floating size, and snapping would fight the dock. The placement
        // is in workspace coordinates, which differ from the screen's only when
        // a taskbar sits at the top or left; compare sizes there.
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        ::GetMonitorInfoW(::MonitorFromWindow(wnd, MONITOR_DEFAULTTOPRIMARY), &mi);
        RECT normal = wp.rcNormalPosition;
        ::OffsetRect(&normal, mi.rcWork.left - mi.rcMonitor.left, mi.rcWork.top - mi.rcMonitor.top);
        if (!::EqualRect(&now, &normal))
            return;
    }
    POINT cursor{};
    ::GetCursorPos(&cursor);
    m_cursorOffset = {cursor.x - now.left, cursor.y - now.top};
    m_own = WindowFrameMargins(wnd);
    CollectCandidates(wnd);
    m_active = true;
}

void CWindowSnapper::CollectCandidates(HWND self)
{
    m_candidates.clear();
    EnumContext ctx{self, &m_candidates};
    ::EnumWindows(AddCandidate, reinterpret_cast<LPARAM>(&ctx));
}

bool CWindowSnapper::Snap(HWND wnd, RECT& rect) const
{
    if (!m_active)
        return false;
    SnapGeometry g{};
    ::GetCursorPos(&g.cursor);
    g.cursorOffset = m_cursorOffset;
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (!::GetMonitorInfoW(::MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &mi))
        return false;
    g.workArea = mi.rcWork;
    g.own = m_own;
    g.distance = m_distance;
    std::vector<SnapCandidate> candidates;
    candidates.reserve(m_candidates.size());
    for (const auto& [other, corners] : m_candidates) {
        SnapCandidate c{};
        if (other == wnd || !::GetWindowRect(other, &c.rect))
            continue;
        c.margins = WindowFrameMargins(other);
        c.corners = corners;
        candidates.push_back(c);
    }
    rect = SnapRectangle(rect, g, candidates);
    return true;
}
