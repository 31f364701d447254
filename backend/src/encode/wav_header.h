// The canonical 44-byte RIFF/WAVE header.
#pragma once

#include <array>
#include <cstdint>

#include "encode/pcm_format.h"

namespace tsl::encode {

constexpr uint32_t kWavHeaderBytes = 44;

// dataBytes: the length of the sample data. RIFF sizes are 32-bit: longer data
// (and the unknown length of a stream piped to an encoder, kUnknownLength)
// gets the largest whole-frame sizes, which readers take as "up to the end".
constexpr uint64_t kUnknownLength = UINT64_MAX;
std::array<uint8_t, kWavHeaderBytes> WavHeader(const PcmLayout& layout, uint64_t dataBytes) noexcept;

} // namespace tsl::encode
