// Registering the driver library with Windows and removing it again: the
// Drivers32 slots of both registry views and the MEDIA device.
#pragma once

#include <optional>

// 64-bit Windows has two registry views, and 32-bit and 64-bit programs each
// look only at their own: the library is registered in both, whichever of our
// builds runs.
bool IsWindows64();
// Tests only: answer IsWindows64 with `value` (nothing: ask the system again).
void SetWindows64ForTests(std::optional<bool> value);

bool InstallDriver();
// With `full`, the user's default MIDI output choices are reset as well.
bool UninstallDriver(bool full);

enum class DriverState {
    Installed,
    Missing, // no slot holds the library: never installed, or removed
    // Registered in part: a view without a slot, no device or several, or a
    // device naming a slot that no longer holds the library (another
    // installer reset it).
    Damaged,
};
DriverState QueryDriverState();
