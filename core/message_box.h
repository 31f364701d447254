// Message boxes as the program shows them: topmost, titled "Ambrella Tessaline"
// unless told otherwise, owned by a window only when one is at hand.
#pragma once

#include <windows.h>

#include <string>

constexpr const wchar_t* kAppTitle = L"Ambrella Tessaline";

// Shows `text`; `flags` are MB_* buttons and icon. Returns the button pressed.
// Tests replace the presenter (SetMessageBoxHook) so nothing waits for a user.
int ShowMessage(const std::wstring& text, UINT flags, HWND owner = nullptr, const wchar_t* title = kAppTitle);

// Shows `text` from a thread of its own and returns at once: for threads that
// must never wait for a user, like the listen thread, which would otherwise
// hold up every client program until the box is answered.
void ShowMessageLater(const std::wstring& text, UINT flags, const wchar_t* title = kAppTitle);

// A hook that sees every message instead of the user; returns the button to answer.
using MessageBoxHook = int (*)(const std::wstring& text, const std::wstring& title, UINT flags);
void SetMessageBoxHook(MessageBoxHook hook);
