#include "ui/shell.h"

namespace {
NotifyIconHook g_notifyHook;
PopupMenuHook g_menuHook;
ShellOpenHook g_openHook;
} // namespace

void SetNotifyIconHook(NotifyIconHook hook) { g_notifyHook = std::move(hook); }
void SetPopupMenuHook(PopupMenuHook hook) { g_menuHook = std::move(hook); }
void SetShellOpenHook(ShellOpenHook hook) { g_openHook = std::move(hook); }

bool NotifyIcon(DWORD message, NOTIFYICONDATAW* data)
{
    if (!data)
        return false;
    if (g_notifyHook)
        return g_notifyHook(message, *data);
    return ::Shell_NotifyIconW(message, data) != FALSE;
}

UINT ShowPopupMenu(HMENU menu, UINT flags, POINT at, HWND owner)
{
    if (g_menuHook)
        return g_menuHook(menu, flags | TPM_RETURNCMD, at, owner);
    return static_cast<UINT>(::TrackPopupMenu(menu, flags | TPM_RETURNCMD, at.x, at.y, 0, owner, nullptr));
}

bool ShellOpen(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters, int show)
{
    if (g_openHook)
        return g_openHook(verb, file, parameters, show);
    auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, verb, file, parameters, nullptr, show));
    return result > 32;
}
