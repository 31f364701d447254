#include "core/message_box.h"

#include <atomic>

namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
}

void SetMessageBoxHook(MessageBoxHook hook) { g_hook.store(hook); }

int ShowMessage(const std::wstring& text, UINT flags, HWND owner, const wchar_t* title)
{
    if (MessageBoxHook hook = g_hook.load())
        return hook(text, title ? title : L"", flags);
    return MessageBoxW(owner, text.c_str(), title, flags | MB_TOPMOST | (owner ? 0 : MB_SETFOREGROUND));
}
