// The output devices as the C API numbers them: 0 is the no-sound device
// (decoding streams only), 1 the system's default output (following it when
// BASS_CONFIG_DEV_DEFAULT is set), 2 and up the real outputs in enumeration
// order. Initialised devices own a mixing thread that plays their streams.
//
// Threads: every function may be called from any thread; the current device
// is per thread (BASS_SetDevice), falling back to the device most recently
// initialised or selected by any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bass.h"

namespace tsl {
class Channel;
}

namespace tsl::output {

class Device;

// The device BASS_SetDevice/BASS_Init last chose for the calling thread; -1 when
// no device has been initialised at all.
int CurrentDevice() noexcept;

// For stream creation: whether a playable (non-decoding) stream may be made on
// the current device. False with BASS_ERROR_INIT when no device is initialised
// or with BASS_ERROR_NOTAVAIL when the current device is the no-sound device.
bool CanCreatePlayableStream(int& error) noexcept;

// The initialised device of a number, null when it is not initialised.
std::shared_ptr<Device> FindDevice(int number);

// BASS_Init / BASS_Free / BASS_SetDevice / BASS_GetInfo / BASS_GetDeviceInfo.
int InitDevice(int number, uint32_t rate, uint32_t flags);   // BASS_OK or an error code
int FreeCurrentDevice();
int SelectDevice(int number);
int GetInfo(BASS_INFO& info);
// Fills the record; false past the last device. Names stay valid for the
// life of the process.
bool DescribeDevice(uint32_t number, BASS_DEVICEINFO& info);

} // namespace tsl::output
