// Process-wide table of live handles. Handles are never reused during the life
// of the process, so a stale handle is always reported as BASS_ERROR_HANDLE.
#pragma once

#include <cstdint>
#include <memory>

#include "core/channel.h"

namespace tsl {

// Thread-safe; lookups take a short lock and return a strong reference, so an
// object stays valid for the caller even if another thread frees the handle.
uint32_t RegisterChannel(std::shared_ptr<Channel> channel);
std::shared_ptr<Channel> FindChannel(uint32_t handle);
// Removes the handle; returns the object so the caller can finish it outside the lock.
std::shared_ptr<Channel> UnregisterChannel(uint32_t handle);

// Per-thread error code of the last call (BASS_ErrorGetCode).
void SetError(int code) noexcept;
int GetError() noexcept;

} // namespace tsl
