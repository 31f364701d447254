// Snapping a window being dragged to the edges of its monitor's work area and
// of the other visible top-level windows, so windows line up without pixel
// hunting. Windows 10 draws invisible resize borders around frames: all
// alignment is done on the visible edges, the window rectangle less its margins.
#pragma once

#include <windows.h>

#include <map>
#include <vector>

struct FrameMargins {
    LONG left = 0, top = 0, right = 0, bottom = 0;
};

// Corners of a candidate window that can be seen (not covered by another window).
enum : UINT { kCornerTopLeft = 1, kCornerTopRight = 2, kCornerBottomLeft = 4, kCornerBottomRight = 8 };

struct SnapCandidate {
    RECT rect;            // window rectangle
    FrameMargins margins; // its invisible borders
    UINT corners;         // visible corners
};

struct SnapGeometry {
    POINT cursor;         // cursor now
    POINT cursorOffset;   // cursor minus the window's top-left at the start of the move
    RECT workArea;        // of the monitor nearest to the proposed rectangle
    FrameMargins own;     // the moving window's invisible borders
    LONG distance;        // how close an edge must come to snap
};

// The rectangle the window takes: `proposed` moved to follow the cursor, then
// onto the work area's edges and the candidates' visible edges that are within
// `distance`. Candidates are taken in order; each sees the rectangle as moved
// by the ones before. The size never changes.
RECT SnapRectangle(RECT proposed, const SnapGeometry& g, const std::vector<SnapCandidate>& candidates);

// The invisible borders of `wnd` (all 0 without desktop composition).
FrameMargins WindowFrameMargins(HWND wnd);

class CWindowSnapper {
public:
    CWindowSnapper();

    // WM_ENTERSIZEMOVE: remembers where the cursor holds the window and which
    // windows it can snap to. A maximised or system-docked window does not snap.
    void BeginMove(HWND wnd);
    // WM_MOVING: adjusts `rect` in place. False when this move does not snap.
    bool Snap(HWND wnd, RECT& rect) const;
    // The windows to snap to, again (after a DPI change moved things).
    void CollectCandidates(HWND self);

    LONG Distance() const noexcept { return m_distance; }
    size_t CandidateCount() const noexcept { return m_candidates.size(); }

private:
    POINT m_cursorOffset{};
    LONG m_distance = 0;
    FrameMargins m_own;
    std::map<HWND, UINT> m_candidates;
    bool m_active = false;
};
