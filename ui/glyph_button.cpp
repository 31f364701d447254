#include "ui/glyph_button.h"

#include <algorithm>
#include <iterator>

namespace {

// Shapes on a 16 x 16 grid, scaled to the image size.
struct Shape {
    const POINT* points;
    int count;
};

constexpr POINT kPlus[] = {{7, 2}, {9, 2}, {9, 7}, {14, 7}, {14, 9}, {9, 9}, {9, 14}, {7, 14}, {7, 9}, {2, 9}, {2, 7}, {7, 7}};
constexpr POINT kMinus[] = {{2, 7}, {14, 7}, {14, 9}, {2, 9}};
constexpr POINT kPencil[] = {{11, 1}, {15, 5}, {6, 14}, {1, 15}, {2, 10}};
constexpr POINT kUp[] = {{8, 2}, {14, 9}, {10, 9}, {10, 14}, {6, 14}, {6, 9}, {2, 9}};
constexpr POINT kDown[] = {{8, 14}, {14, 7}, {10, 7}, {10, 2}, {6, 2}, {6, 7}, {2, 7}};
// A tray with an arrow going into it (import) or out of it (export).
constexpr POINT kTray[] = {{1, 10}, {3, 10}, {3, 13}, {13, 13}, {13, 10}, {15, 10}, {15, 15}, {1, 15}};
constexpr POINT kArrowIn[] = {{7, 1}, {9, 1}, {9, 6}, {12, 6}, {8, 11}, {4, 6}, {7, 6}};
constexpr POINT kArrowOut[] = {{8, 1}, {12, 6}, {9, 6}, {9, 11}, {7, 11}, {7, 6}, {4, 6}};

void Fill(HDC dc, const Shape& shape, int left, int top, int size, COLORREF colour)
{
    POINT scaled[16];
    const int count = std::min(shape.count, static_cast<int>(std::size(scaled)));
    for (int i = 0; i < count; ++i)
        scaled[i] = {left + shape.points[i].x * size / 16, top + shape.points[i].y * size / 16};
    HBRUSH brush = ::CreateSolidBrush(colour);
    HPEN pen = ::CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldBrush = ::SelectObject(dc, brush);
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    ::Polygon(dc, scaled, count);
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    ::DeleteObject(pen);
    ::DeleteObject(brush);
}

}  // namespace

void DrawGlyphButton(const DRAWITEMSTRUCT& item, Glyph glyph, int size)
{
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    ::DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    const int left = (r.left + r.right - size) / 2 + (pressed ? 1 : 0);
    const int top = (r.top + r.bottom - size) / 2 + (pressed ? 1 : 0);
    COLORREF colour = disabled ? ::GetSysColor(COLOR_GRAYTEXT) : RGB(40, 90, 160);
    switch (glyph) {
    case Glyph::Add:
        Fill(dc, {kPlus, static_cast<int>(std::size(kPlus))}, left, top, size, disabled ? colour : RGB(46, 140, 60));
        break;
    case Glyph::Remove:
        Fill(dc, {kMinus, static_cast<int>(std::size(kMinus))}, left, top, size, disabled ? colour : RGB(190, 50, 40));
        break;
    case Glyph::Edit:
        Fill(dc, {kPencil, static_cast<int>(std::size(kPencil))}, left, top, size, colour);
        break;
    case Glyph::Up:
        Fill(dc, {kUp, static_cast<int>(std::size(kUp))}, left, top, size, colour);
        break;
    case Glyph::Down:
        Fill(dc, {kDown, static_cast<int>(std::size(kDown))}, left, top, size, colour);
        break;
    case Glyph::Import:
    case Glyph::Export:
        Fill(dc, {kTray, static_cast<int>(std::size(kTray))}, left, top, size, colour);
        Fill(dc, glyph == Glyph::Import ? Shape{kArrowIn, static_cast<int>(std::size(kArrowIn))}
                                        : Shape{kArrowOut, static_cast<int>(std::size(kArrowOut))},
             left, top, size, colour);
        break;
    }
    if (item.itemState & ODS_FOCUS) {
        RECT focus = r;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(dc, &focus);
    }
}
