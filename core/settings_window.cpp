#include "core/settings_window.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr LONG kSlack = 20;

// The placement's rectangle is in work-area coordinates for windows without
// WS_EX_TOOLWINDOW; the stored text and the restore speak screen coordinates.
RECT NormalRectOnScreen(HWND window, const WINDOWPLACEMENT& placement)
{
    RECT rect = placement.rcNormalPosition;
    if (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)
        return rect;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info))
        OffsetRect(&rect, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
    return rect;
}

}  // namespace

std::wstring FormatWindowPlacement(HWND window)
{
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return {};
    RECT rect;
    if (placement.showCmd == SW_SHOWNORMAL && !IsIconic(window) && !IsZoomed(window))
        GetWindowRect(window, &rect);
    else
        rect = NormalRectOnScreen(window, placement);
    bool maximised = IsZoomed(window) || (IsIconic(window) && (placement.flags & WPF_RESTORETOMAXIMIZED));
    std::wstring result = std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," +
                          std::to_wstring(rect.right - rect.left) + L"," + std::to_wstring(rect.bottom - rect.top);
    if (maximised)
        result += L",1";
    return result;
}

POINT PulledBackPosition(const RECT& stored)
{
    POINT position{stored.left, stored.top};
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromRect(&stored, MONITOR_DEFAULTTONEAREST), &info))
        return position;
    RECT work = info.rcWork;
    InflateRect(&work, kSlack, kSlack);
    const LONG width = stored.right - stored.left;
    const LONG height = stored.bottom - stored.top;
    position.x = stored.left < work.left ? work.left : std::min(stored.left, work.right - width);
    position.y = stored.top < work.top ? work.top : std::min(stored.top, work.bottom - height);
    return position;
}

bool ApplyWindowPlacement(HWND window, const std::wstring& text, bool resizable)
{
    int left = 0, top = 0, width = 0, height = 0, maximised = 0;
    if (swscanf(text.c_str(), L"%d,%d,%d,%d,%d", &left, &top, &width, &height, &maximised) < 4) {
        ShowWindow(window, SW_SHOW);
        return false;
    }
    RECT stored{left, top, left + width, top + height};
    POINT position = PulledBackPosition(stored);
    if (!resizable) {
        SetWindowPos(window, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(window, SW_SHOW);
        return true;
    }
    // The stored size goes in first also for a maximised window: it is the size
    // the window returns to when the user restores it.
    SetWindowPos(window, nullptr, position.x, position.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, maximised ? SW_SHOWMAXIMIZED : SW_SHOW);
    return true;
}
