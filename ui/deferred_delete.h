// Deleting modeless window objects after their windows are gone.
//
// A modeless window cannot delete itself inside its own WM_NCDESTROY: the
// framework still touches the object on the way out. It registers itself here
// and the tray window deletes it from its own message loop. Only objects that
// this process registered are ever deleted: the tray window can be found by any
// program on the desktop, and a pointer posted by one of them is ignored.
// All functions run on the thread that owns the windows (the main thread).
#pragma once

#include <windows.h>

#include "ui/win32xx/wnd.h"

// Registers `wnd` and posts WM_USER to the tray window, which then calls
// DeletePendingWindow. Without a tray window (tests, shutdown) the object
// waits for DeleteAllPendingWindows.
void PostForDeletion(Win32xx::CWnd* wnd);
// The tray's WM_USER: deletes the object named by `param` when, and only when,
// it was registered with PostForDeletion and not deleted yet. True when deleted.
bool DeletePendingWindow(WPARAM param);
// Deletes every object still waiting (shutdown, end of a test).
void DeleteAllPendingWindows();
// How many objects wait for deletion.
size_t PendingWindowCount();
// Where the posts go; the tray registers its window when it is created.
void SetDeletionTarget(HWND tray);
