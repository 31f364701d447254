// The MIDI mapper's rows and registry values with an injected device list:
// a left-out device shifts no other, and a name that no device has selects
// and writes nothing.
#include <gtest/gtest.h>

#include "configurator/midi_out_devices.h"
#include "core/reg_key.h"
#include "install/default_device.h"

namespace {

const std::vector<std::wstring> kDevices = {L"Microsoft GS Wavetable Synth", L"Ambrella Portvane", L"Tessaline #1",
                                            L"Tessaline #2"};

TEST(MidiMapperRows, SiblingDeviceIsLeftOutWithoutShiftingTheOthers)
{
    SetMidiOutDevicesForTests(kDevices);
    const DeviceRows rows = MapperRows(MidiOutDeviceNames());
    SetMidiOutDevicesForTests(std::nullopt);
    EXPECT_EQ(rows.names, (std::vector<std::wstring>{L"Microsoft GS Wavetable Synth", L"Tessaline #1", L"Tessaline #2"}));
    EXPECT_EQ(rows.devices, (std::vector<UINT>{0, 2, 3}));
    // The row of a device, and the device of a row, both ways round.
    EXPECT_EQ(rows.RowOfDevice(3), std::optional<size_t>(2));
    EXPECT_EQ(rows.RowOfDevice(1), std::nullopt);
    EXPECT_EQ(rows.RowOfName(L"Tessaline #1"), std::optional<size_t>(1));
    // The mapper's name is matched exactly.
    EXPECT_EQ(rows.RowOfName(L"tessaline #1"), std::nullopt);
}

TEST(MidiMapperRows, AnOutOfRangeMediaPlayerIndexSelectsNothing)
{
    const DeviceRows rows = MapperRows({L"A", L"B", L"C", L"D", L"E"});
    EXPECT_EQ(rows.RowOfDevice(7), std::nullopt);
}

TEST(MidiMapperRows, NameNotAmongTheDevicesHasNoIndex)
{
    EXPECT_EQ(DeviceIndexOf(kDevices, L"TESSALINE #2"), std::optional<UINT>(3));
    // Not device 0: a vanished device must not quietly become the first one.
    EXPECT_EQ(DeviceIndexOf(kDevices, L"Gone Synth"), std::nullopt);
}

TEST(MidiMapperRegistry, ValuesAreWrittenAndReadBack)
{
    const std::wstring oldName = ReadMidiMapperDevice();
    const std::optional<DWORD> oldIndex = ReadMediaPlayerDevice();

    ASSERT_EQ(WriteMidiMapperDevice(L"Tessaline #1"), ERROR_SUCCESS);
    EXPECT_EQ(ReadMidiMapperDevice(), L"Tessaline #1");
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kMidiMapKey, KEY_QUERY_VALUE), ERROR_SUCCESS);
    EXPECT_EQ(ReadRegString(key.Get(), L"DeviceInterface"), std::optional<std::wstring>(L""));
    ASSERT_EQ(WriteMediaPlayerDevice(2), ERROR_SUCCESS);
    EXPECT_EQ(ReadMediaPlayerDevice(), std::optional<DWORD>(2));

    WriteMidiMapperDevice(oldName);
    if (oldIndex)
        WriteMediaPlayerDevice(*oldIndex);
}

} // namespace
