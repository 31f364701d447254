// Window placement keys of section [Windows]: "left,top,width,height" of the
// restored rectangle, followed by ",1" for a window that comes back maximised.
#pragma once

#include <windows.h>

#include <string>

// Placement text of a window as it is now.
std::wstring FormatWindowPlacement(HWND window);

// Moves and shows the window as `text` says. Returns false, after simply
// showing the window, when the text holds fewer than four numbers.
bool ApplyWindowPlacement(HWND window, const std::wstring& text, bool resizable);

// Where a stored rectangle is put: pulled back into the work area of the
// nearest monitor, widened by 20 pixels on every side, so a window saved on a
// monitor that is gone stays within reach.
POINT PulledBackPosition(const RECT& stored);
