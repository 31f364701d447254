#include "core/message_box.h"

#include <atomic>
#include <memory>

namespace {

std::atomic<MessageBoxHook> g_hook{nullptr};

struct LaterMessage {
    std::wstring text, title;
    UINT flags;
};

DWORD WINAPI PresentLater(void* param)
{
    std::unique_ptr<LaterMessage> message(static_cast<LaterMessage*>(param));
    ShowMessage(message->text, message->flags, nullptr, message->title.c_str());
    return 0;
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { g_hook.store(hook); }

int ShowMessage(const std::wstring& text, UINT flags, HWND owner, const wchar_t* title)
{
    if (MessageBoxHook hook = g_hook.load())
        return hook(text, title ? title : L"", flags);
    return MessageBoxW(owner, text.c_str(), title, flags | MB_TOPMOST | (owner ? 0 : MB_SETFOREGROUND));
}

void ShowMessageLater(const std::wstring& text, UINT flags, const wchar_t* title)
{
    auto message = std::make_unique<LaterMessage>(LaterMessage{text, title ? title : L"", flags});
    if (HANDLE thread = CreateThread(nullptr, 0, PresentLater, message.get(), 0, nullptr)) {
        message.release();
        CloseHandle(thread);
        return;
    }
    // No thread to spare: the message still reaches the user, late for the caller.
    ShowMessage(text, flags, nullptr, title);
}
