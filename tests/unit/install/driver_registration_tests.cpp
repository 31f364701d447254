// Driver registration against the real registry and SetupAPI of the test
// prefix: slot choice in both views, repeat installs, removal with the
// default-device reset, and what the registration check reports.
#include <gtest/gtest.h>

#include "core/reg_key.h"
#include "install/default_device.h"
#include "install/driver_identity.h"
#include "install/driver_setup.h"
#include "install/media_device.h"
#include "registration_fixture.h"

using namespace tsltest_install;

namespace {

using Slots = std::vector<std::wstring>;

std::optional<DWORD> MidiOutId(const wchar_t* path)
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, path, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return std::nullopt;
    return ReadRegDword(key.Get(), L"MidiOutId");
}

void SetMidiOutId(const wchar_t* path, DWORD value)
{
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, path, KEY_SET_VALUE), ERROR_SUCCESS);
    WriteRegDword(key.Get(), L"MidiOutId", value);
}

class DriverRegistration : public RegistrationTest {};

TEST_F(DriverRegistration, ForeignDriverInMidi1PutsOursIntoMidi2OfBothViews)
{
    for (RegistryView view : {RegistryView::X86, RegistryView::X64})
        SetSlot(view, L"midi1", L"vendor.drv");
    ASSERT_TRUE(InstallDriver());
    for (RegistryView view : {RegistryView::X86, RegistryView::X64}) {
        EXPECT_EQ(Ours(view), Slots{L"midi2"}) << ViewName(view);
        EXPECT_EQ(Slot(view, L"midi1"), std::wstring(L"vendor.drv"));
        EXPECT_EQ(Slot(view, L"midi"), std::nullopt) << "the first slot is never used";
    }
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(QueryDriverState(), DriverState::Installed);
}

TEST_F(DriverRegistration, EveryViewChoosesItsOwnFreeSlot)
{
    // The 64-bit build registers in both views, however full each one is.
    SetSlot(RegistryView::X64, L"midi1", L"vendor.drv");
    SetSlot(RegistryView::X64, L"midi2", L"other.drv");
    ASSERT_TRUE(InstallDriver());
    EXPECT_EQ(Ours(RegistryView::X86), Slots{L"midi1"});
    EXPECT_EQ(Ours(RegistryView::X64), Slots{L"midi3"});
    // The device names the slot of the last view written.
    EXPECT_EQ(DriverKeyValues()[L"lib\\Alias"], L"midi3");
    EXPECT_EQ(QueryDriverState(), DriverState::Installed);
}

TEST_F(DriverRegistration, AllSlotsTakenFailsWithoutAMessage)
{
    SetAllSlots(L"vendor.drv");
    EXPECT_FALSE(InstallDriver());
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(Ours(RegistryView::X86).empty());
    EXPECT_EQ(DeviceCount(), 0);
}

TEST_F(DriverRegistration, InstallingTwiceLeavesOneSlotPerViewAndOneDevice)
{
    ASSERT_TRUE(InstallDriver());
    // The second install frees our slot before it looks for a free one.
    ASSERT_TRUE(InstallDriver());
    for (RegistryView view : {RegistryView::X86, RegistryView::X64})
        EXPECT_EQ(Ours(view), Slots{L"midi1"}) << ViewName(view);
    EXPECT_EQ(DeviceCount(), 1);

    std::map<std::wstring, std::wstring> values = DriverKeyValues();
    EXPECT_EQ(values[L"@friendly"], L"Ambrella Tessaline");
    EXPECT_EQ(values[L"@desc"], L"Ambrella Tessaline - 2.14.1");
    EXPECT_EQ(values[L"@mfg"], L"Ambrella");
    EXPECT_EQ(values[L"DriverDesc"], L"Ambrella Tessaline");
    EXPECT_EQ(values[L"ProviderName"], L"Ambrella");
    EXPECT_EQ(values[L"Drivers\\SubClasses"], L"midi");
    EXPECT_EQ(values[L"lib\\Driver"], L"Tessaline.dll");
    EXPECT_EQ(values[L"lib\\Description"], L"Ambrella Tessaline");
    EXPECT_EQ(values[L"lib\\Alias"], L"midi1");
}

TEST_F(DriverRegistration, ReinstallMovesOffASlotTakenInTheMeantime)
{
    ASSERT_TRUE(InstallDriver());
    // Another program's installer overwrote our slot in the 64-bit view.
    SetSlot(RegistryView::X64, L"midi1", L"vendor.drv");
    EXPECT_EQ(QueryDriverState(), DriverState::Damaged);
    ASSERT_TRUE(InstallDriver());
    EXPECT_EQ(Ours(RegistryView::X64), Slots{L"midi2"});
    EXPECT_EQ(Slot(RegistryView::X64, L"midi1"), std::wstring(L"vendor.drv"));
    EXPECT_EQ(DeviceCount(), 1);
    EXPECT_EQ(QueryDriverState(), DriverState::Installed);
}

TEST_F(DriverRegistration, UninstallResetsSlotsAndDefaultDevicesAndRemovesTheDevice)
{
    ASSERT_TRUE(InstallDriver());
    // Our name in "midi" too, in any letter case: removal resets every slot of ours.
    SetSlot(RegistryView::X86, L"midi", L"TESSALINE.DLL");
    SetMidiOutId(kDevenumMidiOutKey, 3);
    SetMidiOutId(kDevenum64MidiOutKey, 4);

    ASSERT_TRUE(UninstallDriver(true));
    for (RegistryView view : {RegistryView::X86, RegistryView::X64}) {
        EXPECT_TRUE(Ours(view).empty());
        EXPECT_EQ(Slot(view, L"midi1"), std::wstring(kFreeSlotValue));
    }
    EXPECT_EQ(Slot(RegistryView::X86, L"midi"), std::wstring(kFreeSlotValue));
    EXPECT_EQ(MidiOutId(kDevenumMidiOutKey), std::optional<DWORD>(0));
    EXPECT_EQ(MidiOutId(kDevenum64MidiOutKey), std::optional<DWORD>(0));
    EXPECT_EQ(DeviceCount(), 0);
    EXPECT_EQ(QueryDriverState(), DriverState::Missing);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DriverRegistration, UninstallWithoutFullKeepsTheDefaultDevices)
{
    ASSERT_TRUE(InstallDriver());
    SetMidiOutId(kDevenumMidiOutKey, 3);
    ASSERT_TRUE(UninstallDriver(false));
    EXPECT_EQ(MidiOutId(kDevenumMidiOutKey), std::optional<DWORD>(3));
    EXPECT_EQ(DeviceCount(), 0);
}

TEST_F(DriverRegistration, On32BitWindowsOnlyTheNativeViewAndDevenumAreTouched)
{
    SetWindows64ForTests(false);
    SetMidiOutId(kDevenum64MidiOutKey, 4);
    ASSERT_TRUE(InstallDriver());
    EXPECT_EQ(Ours(RegistryView::X86), Slots{L"midi1"});
    EXPECT_TRUE(Ours(RegistryView::X64).empty());
    EXPECT_EQ(QueryDriverState(), DriverState::Installed);

    ASSERT_TRUE(UninstallDriver(true));
    EXPECT_TRUE(Ours(RegistryView::X86).empty());
    EXPECT_EQ(MidiOutId(kDevenum64MidiOutKey), std::optional<DWORD>(4));
    EXPECT_EQ(MidiOutId(kDevenumMidiOutKey), std::optional<DWORD>(0));
}

TEST_F(DriverRegistration, StateTellsMissingFromDamaged)
{
    EXPECT_EQ(QueryDriverState(), DriverState::Missing);
    // Registered in one view only: 64-bit programs would never see the device.
    SetSlot(RegistryView::X86, L"midi1", kDriverFileName);
    EXPECT_EQ(QueryDriverState(), DriverState::Damaged);
    // Both views, but no device.
    SetSlot(RegistryView::X64, L"midi1", kDriverFileName);
    EXPECT_EQ(QueryDriverState(), DriverState::Damaged);
    // A device that names a slot which is not ours.
    ASSERT_TRUE(CreateMediaDevice(L"midi5"));
    EXPECT_EQ(QueryDriverState(), DriverState::Damaged);
    RemoveMediaDevices();
    ASSERT_TRUE(CreateMediaDevice(L"midi1"));
    EXPECT_EQ(QueryDriverState(), DriverState::Installed);
    // Two devices of ours (an old one left behind) need a repair as well.
    ASSERT_TRUE(CreateMediaDevice(L"midi1"));
    EXPECT_EQ(DeviceCount(), 2);
    EXPECT_EQ(QueryDriverState(), DriverState::Damaged);
    RemoveMediaDevices();
    EXPECT_EQ(DeviceCount(), 0);
}

TEST_F(DriverRegistration, OurNameInAnotherLetterCaseIsNotAnInstallation)
{
    SetSlot(RegistryView::X86, L"midi1", L"tessaline.dll");
    SetSlot(RegistryView::X64, L"midi1", L"tessaline.dll");
    EXPECT_EQ(QueryDriverState(), DriverState::Missing);
}

} // namespace
