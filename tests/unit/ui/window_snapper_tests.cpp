// Snapping is a pure function of rectangles: the cursor moves the window, then
// edges within the snap distance pull its visible frame onto the work area's
// edges and other windows' visible edges.
#include <gtest/gtest.h>

#include "ui/window_snapper.h"

namespace {

constexpr LONG kDistance = 23;
const RECT kWork{0, 0, 1280, 984};
const FrameMargins kOwn{7, 0, 7, 7};
const FrameMargins kNone{};

// Geometry for a drag whose cursor holds the window at (100, 10) from its top-left.
SnapGeometry At(LONG left, LONG top, FrameMargins own = kOwn)
{
    return SnapGeometry{{left + 100, top + 10}, {100, 10}, kWork, own, kDistance};
}

RECT Window(LONG left, LONG top, LONG w = 400, LONG h = 300) { return {left, top, left + w, top + h}; }

TEST(WindowSnapper, FollowsTheCursorWhenNothingIsNear)
{
    RECT r = SnapRectangle(Window(0, 0), At(300, 200), {});
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.top, 200);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
}

TEST(WindowSnapper, VisibleFrameLandsOnTheWorkAreaEdges)
{
    // Left within the distance: the invisible border hangs off the screen.
    RECT r = SnapRectangle(Window(0, 0), At(15, 200), {});
    EXPECT_EQ(r.left, -7);
    EXPECT_EQ(r.right, 393);
    // One pixel short of the distance still snaps; the distance itself does not.
    EXPECT_EQ(SnapRectangle(Window(0, 0), At(kDistance - 1, 200), {}).left, -7);
    EXPECT_EQ(SnapRectangle(Window(0, 0), At(kDistance, 200), {}).left, kDistance);
    // Right and bottom edges.
    r = SnapRectangle(Window(0, 0), At(1280 - 400 - 10, 984 - 300 - 5), {});
    EXPECT_EQ(r.right, 1287);
    EXPECT_EQ(r.bottom, 991);
    EXPECT_EQ(r.right - r.left, 400);
    // The top edge wins over the bottom for a window as tall as the work area.
    r = SnapRectangle(Window(0, 0, 400, 984), At(300, 3), {});
    EXPECT_EQ(r.top, 0);
}

TEST(WindowSnapper, LinesUpWithTheVisibleEdgesOfAnotherWindow)
{
    const FrameMargins other{7, 0, 7, 7};
    SnapCandidate c{Window(500, 300, 300, 200), other, kCornerTopLeft | kCornerTopRight | kCornerBottomLeft |
                                                            kCornerBottomRight};
    // Our left edge 10 px right of its right edge: visible edges meet.
    RECT r = SnapRectangle(Window(0, 0), At(810, 350), {c});
    EXPECT_EQ(r.left, 800 - 7 - 7);
    // Our right edge near its left edge.
    r = SnapRectangle(Window(0, 0), At(500 - 400 - 12, 350), {c});
    EXPECT_EQ(r.right, 500 + 7 + 7);
    // Below it, overlapping horizontally.
    r = SnapRectangle(Window(0, 0), At(550, 500 + 9), {c});
    EXPECT_EQ(r.top, 500 - 7 - 0);
}

TEST(WindowSnapper, CoveredCornersAndOverlapsDoNotSnap)
{
    // Its right-hand corners are covered by a third window: no snapping to its right side.
    SnapCandidate leftOnly{Window(500, 300, 300, 200), kNone, kCornerTopLeft | kCornerBottomLeft};
    EXPECT_EQ(SnapRectangle(Window(0, 0), At(810, 350, kNone), {leftOnly}).left, 810);
    // Not beside it vertically: no horizontal snapping either.
    SnapCandidate all{Window(500, 300, 300, 200), kNone, 15};
    EXPECT_EQ(SnapRectangle(Window(0, 0), At(810, 600, kNone), {all}).left, 810);
    // A window the rectangle overlaps is ignored.
    EXPECT_EQ(SnapRectangle(Window(0, 0), At(790, 350, kNone), {all}).left, 790);
}

TEST(WindowSnapper, LaterCandidatesSeeTheRectangleMovedByEarlierOnes)
{
    SnapCandidate first{Window(500, 300, 300, 200), kNone, 15};
    // Right of `first` after the first snap (left = 800), the second's left edge is 20 px from our right edge.
    SnapCandidate second{Window(1215, 300, 50, 200), kNone, 15};
    RECT r = SnapRectangle(Window(0, 0), At(815, 350, kNone), {first, second});
    EXPECT_EQ(r.left, 815);  // the second candidate pulled it back to touch its left edge
    EXPECT_EQ(r.right, 1215);
    // Without the second, the first alone snaps it to 800.
    EXPECT_EQ(SnapRectangle(Window(0, 0), At(815, 350, kNone), {first}).left, 800);
}

} // namespace
