// libFuzzer target: any byte string through the WAV reader.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "font/wav_reader.h"

using namespace tsl::font;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource src(std::vector<uint8_t>(data, data + size));
    WavInfo info;
    if (!ReadWavInfo(src, &info)) return 0;
    if (info.dataOffset + info.frames * info.channels * (info.bits / 8) > size) __builtin_trap();
    for (int ch = 0; ch < info.channels; ++ch) {
        std::vector<int16_t> pcm;
        std::vector<uint8_t> low;
        WavInfo again;
        if (!DecodeWavChannel(src, ch, pcm, low, &again)) __builtin_trap();
        if (pcm.size() != info.frames || (!low.empty() && low.size() != pcm.size())) __builtin_trap();
    }
    return 0;
}
