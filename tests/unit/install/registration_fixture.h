// The real registry and SetupAPI of the test prefix, put back as they were
// after each test: the Drivers32 slots of both views, the default-device keys
// and our MEDIA device. Message boxes are recorded and answered by the test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "install/drivers32.h"

namespace tsltest_install {

struct Shown {
    std::wstring text, title;
    UINT flags;
};

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a slot in the view; nothing deletes it.
    static void SetSlot(RegistryView view, const std::wstring& slot, const std::optional<std::wstring>& value);
    static void SetAllSlots(const std::optional<std::wstring>& value);
    static std::optional<std::wstring> Slot(RegistryView view, const std::wstring& slot);
    // Slots holding exactly our library.
    static std::vector<std::wstring> Ours(RegistryView view);

    // Devices with our hardware id, and the driver key values of the first.
    static int DeviceCount();
    static std::map<std::wstring, std::wstring> DriverKeyValues();

    static std::vector<Shown>& Messages();
    // The answer the next message boxes get.
    static void Answer(int button);

private:
    std::map<std::pair<RegistryView, std::wstring>, std::optional<std::wstring>> m_slots;
    bool m_wasInstalled = false;
};

} // namespace tsltest_install
