#include "support/app_fixture.h"

#include <atomic>

#include "core/language.h"
#include "core/message_box.h"
#include "core/profile.h"

namespace tsltest {

namespace {

std::atomic<unsigned> g_counter{0};
std::vector<std::wstring> g_messages;

int Record(const std::wstring& text, const std::wstring&, UINT)
{
    g_messages.push_back(text);
    return IDOK;
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring SourceFolder()
{
    const std::string source = TSL_SOURCE_DIR;
    std::wstring path = L"Z:" + std::wstring(source.begin(), source.end());
    for (auto& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

}  // namespace

TempFolder::TempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"tsl-mixer-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(++g_counter);
    RemoveTree(m_path);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(m_path); }

void TempFolder::Write(const std::wstring& name, const std::string& bytes) const
{
    HANDLE h = CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read)
        bytes.append(buffer, read);
    CloseHandle(h);
    return bytes;
}

TestConfig::TestConfig(const std::string& conf)
{
    g_messages.clear();
    SetMessageBoxHook(Record);
    m_folder.Write(L"Tessaline.conf", conf);
    m_store = std::make_unique<CSettings>(m_folder.Path());
    g_Settings = m_store.get();
    LoadLanguage(SourceFolder(), 1033);
}

TestConfig::~TestConfig()
{
    g_Settings = nullptr;
    UnloadLanguage();
    SetMessageBoxHook(nullptr);
}

std::wstring TestConfig::Stored(const wchar_t* section, const std::wstring& key) const
{
    return ProfileReadText(m_store->ConfigFile(), section, key, L"<none>", 1000);
}

const std::vector<std::wstring>& TestConfig::Messages() const { return g_messages; }

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace tsltest
