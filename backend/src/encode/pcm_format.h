// Sample layouts of the data handed to an encoder and of what it writes, and
// the conversion between them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/channel.h"

namespace tsl::encode {

struct PcmLayout {
    uint32_t rate = 44100;
    uint16_t channels = 2;
    uint16_t bits = 32;    // 8 (unsigned), 16, 24, 32
    bool isFloat = true;   // 32-bit IEEE float
    uint32_t FrameBytes() const noexcept { return channels * (bits / 8u); }
};

PcmLayout LayoutOf(const SampleFormat& format) noexcept;

// What an encoder writes for a channel of layout `in` with BASS_ENCODE_FP_*
// flags: the FP flags choose an integer width for floating-point input and
// are ignored for integer input, which is written as it comes.
PcmLayout OutputLayout(const PcmLayout& in, uint32_t encodeFlags) noexcept;

// Converts `samples` samples; `out` must hold samples * out.bits / 8 bytes.
// Floats are clipped to [-1, 1) and rounded to the nearest integer step.
void ConvertSamples(const void* in, const PcmLayout& inLayout, void* out, const PcmLayout& outLayout,
                    size_t samples) noexcept;

} // namespace tsl::encode
