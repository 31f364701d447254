#include "settings_test_folder.h"

#include <atomic>

#include "core/message_box.h"

namespace tsltest_core {

namespace {

std::atomic<unsigned> g_folderCounter{0};
std::vector<MessageRecorder::Message> g_messages;

int RecordMessage(const std::wstring& text, const std::wstring& title, UINT flags)
{
    g_messages.push_back({text, title, flags});
    return IDOK;
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

TempFolder::TempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"tsl-core-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++g_folderCounter);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(m_path); }

void TempFolder::Write(const std::wstring& name, const std::string& bytes) const
{
    std::wstring path = File(name);
    for (size_t slash = path.find(L'\\', m_path.size() + 1); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1))
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read)
        bytes.append(buffer, read);
    CloseHandle(h);
    return bytes;
}

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
