// Per-port output devices and the logon autostart value.
#include <gtest/gtest.h>

#include "core/settings_autostart.h"
#include "settings_test_folder.h"

using namespace tsltest_core;

TEST(SettingsOutputDevices, MissingPortsKeepTheDefaultDevice)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=2\r\nOutputDevice=3\r\nOutputDeviceName=Speakers (USB)\r\n");
    EXPECT_EQ(s.store->PortDevices[0].Device, 3u);
    EXPECT_EQ(s.store->PortDevices[0].Name, L"Speakers (USB)");
    EXPECT_EQ(s.store->PortDevices[1].Device, 1u);
    EXPECT_EQ(s.store->PortDevices[1].Name, L"<unknown>");
}

TEST(SettingsOutputDevices, EmptyPiecesAreSkipped)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=2\r\nOutputDevice= 1;;3 \r\nOutputDeviceName=;A;;B;C\r\n");
    EXPECT_EQ(s.store->PortDevices[0].Device, 1u);
    EXPECT_EQ(s.store->PortDevices[1].Device, 3u);
    EXPECT_EQ(s.store->PortDevices[0].Name, L"A");
    EXPECT_EQ(s.store->PortDevices[1].Name, L"B");
    EXPECT_EQ(s.store->PortDevices[2].Name, L"<unknown>") << "only DevicesCount ports are filled";
}

TEST(SettingsOutputDevices, EmptyTextMeansTheDefaultDevice)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=4\r\nOutputDevice=\r\n");
    for (const PortOutputDevice& port : s.store->PortDevices) {
        EXPECT_EQ(port.Device, 1u);
        EXPECT_EQ(port.Name, L"<unknown>");
    }
}

TEST(SettingsOutputDevices, SaveWritesTheFirstDevicesCountPorts)
{
    StoreInFolder s("[Advanced]\r\nDevicesCount=3\r\n");
    s.store->PortDevices[0] = {2, L"Line out"};
    s.store->PortDevices[1] = {0, L"No sound"};
    s.store->PortDevices[2] = {0xFFFFFFFFu, L"Default"};
    s.store->PortDevices[3] = {5, L"Not a port"};
    s.store->SaveOutputDevices();
    EXPECT_EQ(s.Stored(L"Advanced", L"OutputDevice"), L"2;0;4294967295");
    EXPECT_EQ(s.Stored(L"Advanced", L"OutputDeviceName"), L"Line out;No sound;Default");
    EXPECT_TRUE(s.store->IsChanged(SettingsChange::Audio));

    CSettings again(s.folder.Path());
    EXPECT_EQ(again.PortDevices[2].Device, 0xFFFFFFFFu);
    EXPECT_EQ(again.PortDevices[1].Name, L"No sound");
    EXPECT_EQ(again.PortDevices[3].Device, 1u);
}

TEST(SettingsOutputDevices, OnePortAtTheDefaultRemovesTheNumberKey)
{
    StoreInFolder s("[Advanced]\r\nOutputDevice=4\r\n");
    s.store->PortDevices[0] = {1, L"Speakers"};
    s.store->SaveOutputDevices();
    EXPECT_EQ(s.Stored(L"Advanced", L"OutputDevice"), L"<none>");
    EXPECT_EQ(s.Stored(L"Advanced", L"OutputDeviceName"), L"Speakers");
}

namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Keeps whatever the Run value held before the test and puts it back after.
class SavedRunValue {
public:
    SavedRunValue() { m_had = Read(m_value); }
    SavedRunValue(const SavedRunValue&) = delete;
    SavedRunValue& operator=(const SavedRunValue&) = delete;
    ~SavedRunValue()
    {
        if (m_had)
            Write(m_value);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Tessaline");
    }
    static bool Read(std::wstring& value)
    {
        wchar_t buffer[1024] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t);
        if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"Tessaline", RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
            return false;
        value = buffer;
        return true;
    }
    static void Write(const std::wstring& value)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Tessaline", REG_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

private:
    bool m_had = false;
    std::wstring m_value;
};

}  // namespace

TEST(SettingsAutostart, OnOffAndQuery)
{
    SavedRunValue saved;
    const std::wstring command = AutostartCommand();
    ASSERT_GE(command.size(), 3u);
    EXPECT_EQ(command.front(), L'"');
    EXPECT_EQ(command.back(), L'"');

    SetStartWithLogon(true);
    std::wstring value;
    ASSERT_TRUE(SavedRunValue::Read(value));
    EXPECT_EQ(value, command);
    EXPECT_TRUE(IsStartWithLogon());

    SetStartWithLogon(false);
    EXPECT_FALSE(SavedRunValue::Read(value));
    EXPECT_FALSE(IsStartWithLogon());
}

TEST(SettingsAutostart, ComparisonIgnoresCaseButNotQuotes)
{
    SavedRunValue saved;
    std::wstring upper = AutostartCommand();
    CharUpperW(upper.data());
    SavedRunValue::Write(upper);
    EXPECT_TRUE(IsStartWithLogon());

    std::wstring unquoted = AutostartCommand();
    SavedRunValue::Write(unquoted.substr(1, unquoted.size() - 2));
    EXPECT_FALSE(IsStartWithLogon());

    SavedRunValue::Write(L"\"C:\\Other\\Program.exe\"");
    EXPECT_FALSE(IsStartWithLogon());
}
