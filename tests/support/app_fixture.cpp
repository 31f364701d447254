#include "support/app_fixture.h"

#include <atomic>

#include "core/language.h"
#include "core/message_box.h"
#include "core/profile.h"

namespace tsltest {

namespace {

std::vector<std::wstring> g_messages;

int Record(const std::wstring& text, const std::wstring&, UINT)
{
    g_messages.push_back(text);
    return IDOK;
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
