// WAV files for SFZ instruments: 8/16/24/32-bit integer and 32/64-bit float
// PCM (WAVE_FORMAT_PCM, _IEEE_FLOAT and _EXTENSIBLE), mono or stereo, with the
// loop and unity note of the "smpl" chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "font/file.h"

namespace tsl::font {

struct WavInfo {
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    bool isFloat = false;
    uint64_t frames = 0;
    uint64_t dataOffset = 0; // of the first frame in the file
    bool hasLoop = false;
    uint32_t loopStart = 0, loopEnd = 0; // frames; loopEnd exclusive
    bool hasUnity = false;
    uint8_t unityNote = 60;
    int8_t unityCents = 0; // from dwMIDIPitchFraction
};

// Parses the header chunks (reads only chunk headers, "fmt " and "smpl").
// False for anything that is not a supported WAV file.
bool ReadWavInfo(ByteSource& src, WavInfo* info);

// Decodes one channel into 16-bit frames plus, for sources of more than 16
// bits, the low byte of a 24-bit value (see Sample).
bool DecodeWavChannel(ByteSource& src, int channel, std::vector<int16_t>& pcm, std::vector<uint8_t>& low,
                      WavInfo* info);

} // namespace tsl::font
