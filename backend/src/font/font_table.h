// The handle table of open fonts (HSOUNDFONT). Handles are never reused in the
// life of the process. Thread-safe: lookups take a short lock and return a
// strong reference, so a font stays valid for the caller even if another
// thread frees its handle.
#pragma once

#include <cstdint>
#include <memory>

#include "font/model.h"

namespace tsl::font {

uint32_t RegisterFont(std::shared_ptr<Font> font);
std::shared_ptr<Font> FindFont(uint32_t handle);
// Removes the handle; returns the font (null when unknown).
std::shared_ptr<Font> UnregisterFont(uint32_t handle);

} // namespace tsl::font
