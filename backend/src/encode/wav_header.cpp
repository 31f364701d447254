#include "encode/wav_header.h"

#include <algorithm>

namespace tsl::encode {
namespace {

void Put16(uint8_t* p, uint32_t v) noexcept { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void Put32(uint8_t* p, uint32_t v) noexcept { Put16(p, v), Put16(p + 2, v >> 16); }
void PutId(uint8_t* p, const char* id) noexcept { std::copy(id, id + 4, p); }

} // namespace

std::array<uint8_t, kWavHeaderBytes> WavHeader(const PcmLayout& l, uint64_t dataBytes) noexcept {
    const uint32_t block = l.FrameBytes();
    const uint64_t largest = (UINT32_MAX - (kWavHeaderBytes - 8)) / block * block;
    const uint32_t data = uint32_t(std::min(dataBytes, largest));
    std::array<uint8_t, kWavHeaderBytes> h{};
    PutId(&h[0], "RIFF");
    Put32(&h[4], data + (kWavHeaderBytes - 8));
    PutId(&h[8], "WAVE");
    PutId(&h[12], "fmt ");
    Put32(&h[16], 16);
    Put16(&h[20], l.isFloat ? 3 : 1); // IEEE float : integer PCM
    Put16(&h[22], l.channels);
    Put32(&h[24], l.rate);
    Put32(&h[28], l.rate * block);
    Put16(&h[32], block);
    Put16(&h[34], l.bits);
    PutId(&h[36], "data");
    Put32(&h[40], data);
    return h;
}

} // namespace tsl::encode
