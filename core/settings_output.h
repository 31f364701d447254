// Per-port output devices, kept in the settings as two ";"-joined texts
// (OutputDevice: device numbers, OutputDeviceName: device names).
#pragma once

#include <windows.h>

#include <array>
#include <string>

constexpr DWORD kMaxPorts = 4;

struct PortOutputDevice {
    DWORD Device = 1;                    // 1: the system's default device
    std::wstring Name = L"<unknown>";
};

using PortOutputDevices = std::array<PortOutputDevice, kMaxPorts>;

// Fills the first `portCount` ports from the two texts; the others keep the
// defaults. Empty pieces (";;") are skipped, so they do not count as a port.
PortOutputDevices ParsePortOutputDevices(const std::wstring& devices, const std::wstring& names, DWORD portCount);

// The two texts for the first `portCount` ports.
void FormatPortOutputDevices(const PortOutputDevices& ports, DWORD portCount, std::wstring& devices,
                             std::wstring& names);
