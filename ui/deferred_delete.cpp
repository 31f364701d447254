#include "ui/deferred_delete.h"

#include <unordered_set>

namespace {
// Touched only by the window thread, so no lock.
std::unordered_set<Win32xx::CWnd*>& Pending()
{
    static std::unordered_set<Win32xx::CWnd*> pending;
    return pending;
}
HWND g_target = nullptr;
} // namespace

void SetDeletionTarget(HWND tray) { g_target = tray; }

void PostForDeletion(Win32xx::CWnd* wnd)
{
    if (!wnd)
        return;
    Pending().insert(wnd);
    // A failed post (no tray window) leaves the object registered; the final
    // sweep at shutdown deletes it.
    if (g_target && ::IsWindow(g_target))
        ::PostMessageW(g_target, WM_USER, reinterpret_cast<WPARAM>(wnd), 0);
}

bool DeletePendingWindow(WPARAM param)
{
    auto* wnd = reinterpret_cast<Win32xx::CWnd*>(param);
    auto& pending = Pending();
    auto it = pending.find(wnd);
    if (it == pending.end())
        return false;
    pending.erase(it);
    delete wnd;
    return true;
}

void DeleteAllPendingWindows()
{
    auto& pending = Pending();
    while (!pending.empty()) {
        Win32xx::CWnd* wnd = *pending.begin();
        pending.erase(pending.begin());
        delete wnd;
    }
}

size_t PendingWindowCount() { return Pending().size(); }
