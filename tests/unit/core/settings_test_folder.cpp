#include "settings_test_folder.h"

#include <atomic>

#include "core/message_box.h"

namespace tsltest_core {

namespace {

std::vector<MessageRecorder::Message> g_messages;

int RecordMessage(const std::wstring& text, const std::wstring& title, UINT flags)
{
    g_messages.push_back({text, title, flags});
    return IDOK;
}

}  // namespace

std::wstring ReadProfileFileText(const std::wstring& path)
{
    std::string bytes = ReadBytes(path);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    return FromUtf8(bytes);
}

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

std::wstring HostPath(const char* hostPath)
{
    std::wstring path = L"Z:" + FromUtf8(hostPath);
    for (wchar_t& ch : path)
        if (ch == L'/')
            ch = L'\\';
    return path;
}

MessageRecorder::MessageRecorder()
{
    g_messages.clear();
    SetMessageBoxHook(RecordMessage);
}

MessageRecorder::~MessageRecorder()
{
    SetMessageBoxHook(nullptr);
    g_messages.clear();
}

const std::vector<MessageRecorder::Message>& MessageRecorder::Messages() const { return g_messages; }

}  // namespace tsltest_core
