#include "configurator/midi_out_devices.h"

#include <mmsystem.h>

#include <mutex>

#include "core/reg_key.h"
#include "install/default_device.h"

namespace {

std::mutex g_lock;
std::optional<std::vector<std::wstring>> g_forTests;

} // namespace

std::vector<std::wstring> MidiOutDeviceNames()
{
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (g_forTests)
            return *g_forTests;
    }
    std::vector<std::wstring> names;
    const UINT count = midiOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIOUTCAPSW caps{};
        // A device that cannot describe itself keeps its place: indexes are device ids.
        names.push_back(midiOutGetDevCapsW(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR ? caps.szPname
                                                                                          : std::wstring());
    }
    return names;
}

void SetMidiOutDevicesForTests(std::optional<std::vector<std::wstring>> devices)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_forTests = std::move(devices);
}

std::optional<size_t> DeviceRows::RowOfName(const std::wstring& name) const
{
    for (size_t row = 0; row < names.size(); ++row)
        if (names[row] == name)
            return row;
    return std::nullopt;
}

std::optional<size_t> DeviceRows::RowOfDevice(UINT device) const
{
    for (size_t row = 0; row < devices.size(); ++row)
        if (devices[row] == device)
            return row;
    return std::nullopt;
}

DeviceRows MapperRows(const std::vector<std::wstring>& devices)
{
    DeviceRows rows;
    for (UINT i = 0; i < devices.size(); ++i) {
        if (devices[i] == kPortvaneDeviceName)
            continue;
        rows.names.push_back(devices[i]);
        rows.devices.push_back(i);
    }
    return rows;
}

std::optional<UINT> DeviceIndexOf(const std::vector<std::wstring>& devices, const std::wstring& name)
{
    for (UINT i = 0; i < devices.size(); ++i)
        if (_wcsicmp(devices[i].c_str(), name.c_str()) == 0)
            return i;
    return std::nullopt;
}

std::wstring ReadMidiMapperDevice()
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kMidiMapKey, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return {};
    return ReadRegString(key.Get(), L"szPname").value_or(std::wstring());
}

std::optional<DWORD> ReadMediaPlayerDevice()
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kDevenumMidiOutKey, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return std::nullopt;
    return ReadRegDword(key.Get(), L"MidiOutId");
}

LSTATUS WriteMidiMapperDevice(const std::wstring& name)
{
    CRegKey key;
    LSTATUS status = key.Create(HKEY_CURRENT_USER, kMidiMapKey, KEY_ALL_ACCESS);
    if (status == ERROR_SUCCESS)
        status = WriteRegString(key.Get(), L"szPname", name);
    if (status == ERROR_SUCCESS)
        status = WriteRegString(key.Get(), L"DeviceInterface", L"");
    return status;
}

LSTATUS WriteMediaPlayerDevice(DWORD index)
{
    CRegKey key;
    LSTATUS status = key.Create(HKEY_CURRENT_USER, kDevenumMidiOutKey, KEY_ALL_ACCESS);
    if (status == ERROR_SUCCESS)
        status = WriteRegDword(key.Get(), L"MidiOutId", index);
    return status;
}
