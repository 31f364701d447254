// PNG screenshots of windows for people to look at: written under the build
// folder's "screenshots" directory, named by the test.
#pragma once

#include <windows.h>

#include <string>

namespace tsltest {

// The path "<build>/screenshots/<name>.png" as Windows sees it (folder created).
std::wstring ScreenshotPath(const std::string& name);
// What the screen shows inside `wnd`'s window rectangle (the window should be
// visible and in front), as a PNG file. False when nothing could be written.
bool SaveWindowPng(HWND wnd, const std::wstring& path);
// The same for any rectangle of the screen (a menu with the window that opened it).
bool SaveScreenRectPng(const RECT& rect, const std::wstring& path);

} // namespace tsltest
