// What the driver reads of the installation: the configuration file named by
// the machine-wide "path" value, its port count and its client blacklist.
// Read at the time of asking, so a change in the configurator counts for the
// next program that opens a port.
#pragma once

#include <windows.h>

#include <string>

constexpr DWORD kDriverMaxPorts = 4;

// "<installation folder>\Tessaline.conf"; empty when the registry names none.
std::wstring ConfigurationPath();
// The installation folder itself; empty when unknown.
std::wstring InstallationFolder();
// [Advanced] DevicesCount, 1 to 4 (1 without a configuration).
DWORD ConfiguredPortCount();
// [Advanced] ClientBlacklist.
std::wstring ConfiguredBlacklist();
// Whether this program is on the blacklist.
bool CurrentProgramBlacklisted();
