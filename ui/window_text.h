// The text of a window or control, whatever its length.
#pragma once

#include <windows.h>

#include <string>

std::wstring WindowTextOf(HWND window);
