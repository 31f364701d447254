// The system's MIDI output devices, and the per-user choice of the default one
// that the MIDI mapper tab edits: the device list, the rows the tab shows for
// it, and the registry values behind both choices.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// The MIDI output devices in Windows' order (index = device id).
std::vector<std::wstring> MidiOutDeviceNames();
// Tests only: the list MidiOutDeviceNames returns (nothing: the system's again).
void SetMidiOutDevicesForTests(std::optional<std::vector<std::wstring>> devices);

// The sibling product's own device, never offered as the default.
inline constexpr wchar_t kPortvaneDeviceName[] = L"Ambrella Portvane";

// A drop-down list's rows: appended in order, each row remembering the device
// it stands for, so that a device left out never shifts the others.
struct DeviceRows {
    std::vector<std::wstring> names;
    std::vector<UINT> devices;

    std::optional<size_t> RowOfName(const std::wstring& name) const;
    std::optional<size_t> RowOfDevice(UINT device) const;
};
DeviceRows MapperRows(const std::vector<std::wstring>& devices);

// The device index of `name` (letter case aside); nothing when no device has it.
std::optional<UINT> DeviceIndexOf(const std::vector<std::wstring>& devices, const std::wstring& name);

// The mapper's device name ("" when unset) and the Media Player device index.
std::wstring ReadMidiMapperDevice();
std::optional<DWORD> ReadMediaPlayerDevice();
// Error codes of the registry calls, ERROR_SUCCESS when written.
LSTATUS WriteMidiMapperDevice(const std::wstring& name);
LSTATUS WriteMediaPlayerDevice(DWORD index);
