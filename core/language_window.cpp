#include "core/language.h"

#include <vector>

namespace {

std::wstring WindowCaption(HWND window)
{
    int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void TranslateCaption(HWND window)
{
    std::wstring caption = WindowCaption(window);
    if (caption.empty())
        return;
    std::wstring text = GetText(caption);
    if (text != caption)
        SetWindowTextW(window, text.c_str());
}

}  // namespace

void TranslateWindow(HWND window)
{
    if (!window)
        return;
    TranslateCaption(window);
    // Direct children only: nested dialogs (the configurator's pages) translate themselves.
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        TranslateCaption(child);
}
