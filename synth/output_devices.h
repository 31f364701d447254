// The audio output devices the ports play on: initialising the devices the
// ports need (with the fallbacks for devices that vanished), and the list of
// devices the device chooser offers.
//
// BASS device numbers: 0 no sound, 1 the system default (it follows the
// system's choice), 2 and up the real devices; -1 also means the default.
#pragma once

#include <windows.h>

#include <bass.h>

#include <map>
#include <string>
#include <vector>

#include "core/settings_output.h"

// The back-end calls device initialisation makes; tests substitute their own.
struct DeviceApi {
    decltype(&BASS_Init) init = &BASS_Init;
    decltype(&BASS_ErrorGetCode) errorGetCode = &BASS_ErrorGetCode;
    decltype(&BASS_SetDevice) setDevice = &BASS_SetDevice;
    decltype(&BASS_GetInfo) getInfo = &BASS_GetInfo;
    decltype(&BASS_SetConfig) setConfig = &BASS_SetConfig;
    decltype(&BASS_GetDeviceInfo) getDeviceInfo = &BASS_GetDeviceInfo;
};

// The devices of ports 0 .. portCount-1, ascending, without duplicates.
std::vector<int> PortDeviceList(const PortOutputDevices& ports, DWORD portCount);

struct DeviceInitResult {
    bool ok = false;
    // The devices initialised (fallbacks in place of the vanished ones), ascending, unique.
    std::vector<int> devices;
    // Configured device -> the device initialised in its place.
    std::map<int, int> replacements;
};

// Initialises every device the ports use, in ascending order. A device that
// no longer exists is reported once (naming the first port configured for it)
// and replaced by the default device, the default device by the no-sound
// device. Any other failure of a device a port uses is reported and fails the
// whole initialisation.
DeviceInitResult InitializeOutputDevices(const PortOutputDevices& ports, DWORD portCount, DWORD sampleRate,
                                         DWORD additionalBuffer, const DeviceApi& api = DeviceApi{});

// The device a port's streams play on after initialisation.
int EffectiveDevice(const DeviceInitResult& init, int configured);

// The chooser's list: device 1 as "<" + "cfg.opt.defaultDeviceMenu" + ">",
// then every enabled device from 2 up with ";" in its name made a space.
// lastDevice receives the first number BASS_GetDeviceInfo refused.
std::map<DWORD, std::wstring> EnumerateOutputDevices(DWORD* lastDevice = nullptr, const DeviceApi& api = DeviceApi{});

// A device name as it is shown and stored: from the ANSI code page, ";" as a space.
std::wstring DeviceDisplayName(const char* ansiName);

// Chooser menu command ids: (port + 2) x 1000 + device; port -1 = all ports;
// device 0 is the no-sound device.
UINT DeviceMenuId(int port, DWORD device);
void DecodeDeviceMenuId(UINT id, int& port, DWORD& device);
