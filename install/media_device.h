// The software device of the MEDIA class that stands for the driver library:
// Windows lists legacy MIDI drivers through the driver key of such a device.
#pragma once

#include <optional>
#include <string>

// Creates the device and its driver key naming the library under `slot`.
// False on failure (after a message for the SetupAPI steps).
bool CreateMediaDevice(const std::wstring& slot);

// Removes every device carrying our hardware id. Never fails for its caller:
// problems are told to the user and the rest of the removal goes on.
void RemoveMediaDevices();

// What the registration check needs to know of the devices.
struct MediaDeviceInfo {
    int count = 0;            // devices with our hardware id
    std::wstring alias;       // the Drivers32 slot the first one names ("" when unreadable)
};
MediaDeviceInfo QueryMediaDevices();
