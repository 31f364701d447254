// Process-wide configuration options (BASS_SetConfig / BASS_GetConfig).
// Values are plain relaxed atomics: any thread may read or write them, and a
// new value affects what is created afterwards (devices, streams), not what
// already runs.
#pragma once

#include <cstdint>

namespace tsl {

// Returns the stored value of an option, or its default when never set.
uint32_t GetConfigValue(uint32_t option) noexcept;
// Stores a value without range checks (the C API validates first).
void SetConfigValue(uint32_t option, uint32_t value) noexcept;
// Whether the option is one the back end knows.
bool IsKnownConfigOption(uint32_t option) noexcept;

} // namespace tsl
