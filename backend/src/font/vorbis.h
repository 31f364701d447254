// Ogg Vorbis decoding (stb_vorbis) for SF3 samples and SFZ .ogg files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tsl::font {

// Decodes a whole Ogg Vorbis stream into interleaved 16-bit frames. Returns
// false for data that is not Vorbis or decodes to more than maxFrames.
bool DecodeVorbis(const uint8_t* data, size_t size, std::vector<int16_t>& interleaved, int* channels,
                  uint32_t* rate, size_t maxFrames = size_t(1) << 28);

// Channels, rate and length (from the last Ogg page) without decoding.
bool ProbeVorbis(const uint8_t* data, size_t size, int* channels, uint32_t* rate, uint64_t* frames);

} // namespace tsl::font
