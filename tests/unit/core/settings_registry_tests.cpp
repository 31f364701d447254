// Finding the installation folder through the machine-wide registry value.
// HKLM is redirected to a private per-user key for the test, so the real value
// (which other tests and a running synth rely on) is never touched.
#include <gtest/gtest.h>

#include "core/system_error.h"
#include "settings_test_folder.h"

using namespace tsltest_core;

namespace {

class RedirectedMachineKey {
public:
    RedirectedMachineKey()
    {
        m_name = L"Software\\TessalineUnitTests\\Machine" + std::to_wstring(GetCurrentProcessId());
        RegCreateKeyExW(HKEY_CURRENT_USER, m_name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_key);
    }
    RedirectedMachineKey(const RedirectedMachineKey&) = delete;
    RedirectedMachineKey& operator=(const RedirectedMachineKey&) = delete;
    ~RedirectedMachineKey()
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(m_key);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_name.c_str());
    }
    void SetPath(const std::wstring* folder)
    {
        HKEY key = nullptr;
        RegCreateKeyExW(m_key, L"SOFTWARE\\Ambrella Tessaline", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (folder)
            RegSetValueExW(key, L"path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder->c_str()),
                           static_cast<DWORD>((folder->size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

private:
    std::wstring m_name;
    HKEY m_key = nullptr;
};

const std::wstring kRegistryTail = L"\nError reading configuration registry key:\nHKLM\\SOFTWARE\\Ambrella Tessaline\\path";

}  // namespace

TEST(SettingsRegistry, FolderFromTheRegistryValue)
{
    MessageRecorder messages;
    TempFolder folder;
    folder.Write(L"Tessaline.conf", "[Advanced]\r\nDevicesCount=3\r\n");
    RedirectedMachineKey machine;
    machine.SetPath(&folder.Path());

    CSettings store;
    EXPECT_TRUE(store.Loaded());
    EXPECT_EQ(store.InstallFolder(), folder.Path());
    EXPECT_EQ(store.DevicesCount.Get(), 3u);
    EXPECT_TRUE(messages.Messages().empty());
}

TEST(SettingsRegistry, MissingKeyShowsTheSystemTextOfTheCode)
{
    MessageRecorder messages;
    RedirectedMachineKey machine;

    CSettings store;
    EXPECT_FALSE(store.Loaded());
    EXPECT_TRUE(store.InstallFolder().empty());
    ASSERT_EQ(messages.Messages().size(), 1u);
    const auto& m = messages.Messages()[0];
    EXPECT_EQ(m.text, SystemErrorText(ERROR_FILE_NOT_FOUND) + kRegistryTail);
    EXPECT_EQ(m.title, L"Tessaline initialization error");
    EXPECT_EQ(m.flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
}

TEST(SettingsRegistry, EmptyValueShowsTheTextOfCodeZero)
{
    MessageRecorder messages;
    RedirectedMachineKey machine;
    const std::wstring empty;
    machine.SetPath(&empty);

    CSettings store;
    EXPECT_FALSE(store.Loaded());
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].text, SystemErrorText(0) + kRegistryTail);
}

TEST(SettingsRegistry, FolderWithoutConfigurationFile)
{
    MessageRecorder messages;
    TempFolder folder;
    RedirectedMachineKey machine;
    machine.SetPath(&folder.Path());

    CSettings store;
    EXPECT_FALSE(store.Loaded());
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].text,
              L"ERROR: configuration file is missing or unreadable: " + folder.Path() + L"\\Tessaline.conf");
}
