#include "registration_fixture.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include "core/message_box.h"
#include "core/reg_key.h"
#include "install/driver_identity.h"
#include "install/driver_setup.h"
#include "install/media_device.h"

namespace tsltest_install {

namespace {

std::vector<Shown> g_messages;
int g_answer = IDOK;

int Record(const std::wstring& text, const std::wstring& title, UINT flags)
{
    g_messages.push_back({text, title, flags});
    return g_answer;
}

REGSAM Flag(RegistryView view) { return view == RegistryView::X86 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

} // namespace

void RegistrationTest::SetUp()
{
    m_wasInstalled = QueryDriverState() == DriverState::Installed;
    for (RegistryView view : {RegistryView::X86, RegistryView::X64})
        for (const std::wstring& slot : MidiSlotNames())
            m_slots[{view, slot}] = Slot(view, slot);
    g_messages.clear();
    g_answer = IDOK;
    SetMessageBoxHook(Record);
    // Every test starts from empty slots and no device of ours.
    SetWindows64ForTests(std::nullopt);
    SetAllSlots(std::nullopt);
    RemoveMediaDevices();
    g_messages.clear();
}

void RegistrationTest::TearDown()
{
    SetWindows64ForTests(std::nullopt);
    RemoveMediaDevices();
    for (const auto& [where, value] : m_slots)
        SetSlot(where.first, where.second, value);
    // Programs started by later tests find the driver as they did before.
    if (m_wasInstalled)
        InstallDriver();
    SetMessageBoxHook(nullptr);
}

void RegistrationTest::SetSlot(RegistryView view, const std::wstring& slot, const std::optional<std::wstring>& value)
{
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kDrivers32Key, KEY_SET_VALUE | Flag(view)), ERROR_SUCCESS);
    if (value)
        WriteRegString(key.Get(), slot.c_str(), *value);
    else
        RegDeleteValueW(key.Get(), slot.c_str());
}

void RegistrationTest::SetAllSlots(const std::optional<std::wstring>& value)
{
    for (RegistryView view : {RegistryView::X86, RegistryView::X64})
        for (const std::wstring& slot : MidiSlotNames())
            SetSlot(view, slot, value);
}

std::optional<std::wstring> RegistrationTest::Slot(RegistryView view, const std::wstring& slot)
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kDrivers32Key, KEY_QUERY_VALUE | Flag(view)) != ERROR_SUCCESS)
        return std::nullopt;
    return ReadRegString(key.Get(), slot.c_str());
}

std::vector<std::wstring> RegistrationTest::Ours(RegistryView view) { return FindDriverSlots(view); }

int RegistrationTest::DeviceCount() { return QueryMediaDevices().count; }

std::map<std::wstring, std::wstring> RegistrationTest::DriverKeyValues()
{
    std::map<std::wstring, std::wstring> values;
    HDEVINFO set = SetupDiGetClassDevsW(&kMediaClassGuid, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE)
        return values;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t id[128] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(id),
                                               sizeof(id) - 4, nullptr) ||
            _wcsicmp(id, kDeviceHardwareId) != 0)
            continue;
        auto property = [&](DWORD which) {
            wchar_t text[256] = {};
            SetupDiGetDeviceRegistryPropertyW(set, &device, which, nullptr, reinterpret_cast<BYTE*>(text),
                                              sizeof(text) - 2, nullptr);
            return std::wstring(text);
        };
        values[L"@friendly"] = property(SPDRP_FRIENDLYNAME);
        values[L"@desc"] = property(SPDRP_DEVICEDESC);
        values[L"@mfg"] = property(SPDRP_MFG);
        HKEY raw = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
        if (raw != INVALID_HANDLE_VALUE) {
            CRegKey driverKey;
            *driverKey.Receive() = raw;
            for (const wchar_t* name : {L"DriverDesc", L"ProviderName"})
                values[name] = ReadRegString(driverKey.Get(), name).value_or(L"<none>");
            CRegKey drivers, library;
            if (drivers.Open(driverKey.Get(), L"Drivers", KEY_READ) == ERROR_SUCCESS)
                values[L"Drivers\\SubClasses"] = ReadRegString(drivers.Get(), L"SubClasses").value_or(L"<none>");
            if (library.Open(driverKey.Get(), L"Drivers\\midi\\Tessaline.dll", KEY_READ) == ERROR_SUCCESS)
                for (const wchar_t* name : {L"Driver", L"Description", L"Alias"})
                    values[std::wstring(L"lib\\") + name] = ReadRegString(library.Get(), name).value_or(L"<none>");
        }
        break;
    }
    SetupDiDestroyDeviceInfoList(set);
    return values;
}

std::vector<Shown>& RegistrationTest::Messages() { return g_messages; }

void RegistrationTest::Answer(int button) { g_answer = button; }

} // namespace tsltest_install
