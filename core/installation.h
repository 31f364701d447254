// Registering the driver library with Windows and removing it.
#pragma once

// "--install": registers the driver. True on success.
bool RunDriverInstaller();
// "--uninstall": removes the driver, optionally restoring the system's default
// MIDI-out choice. True on success.
bool RunDriverRemover(bool restoreDefaultDevice);
