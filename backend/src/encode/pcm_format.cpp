#include "encode/pcm_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bassenc.h"

namespace tsl::encode {
namespace {

float ReadSample(const uint8_t* p, const PcmLayout& l) noexcept {
    switch (l.bits) {
    case 8: return (int(p[0]) - 128) / 128.0f;
    case 16: return int16_t(uint16_t(p[0] | p[1] << 8)) / 32768.0f;
    case 24: return float(int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) / 256) / 8388608.0f;
    default:
        if (l.isFloat) {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        int32_t v;
        std::memcpy(&v, p, 4);
        return float(double(v) / 2147483648.0);
    }
}

int64_t Quantize(float x, double scale) noexcept {
    const double v = double(x) * scale;
    // NaN goes to silence rather than to an arbitrary extreme.
    if (!(v == v)) return 0;
    // Rounded to the nearest integer, ties to even, as nearbyint does in the
    // default rounding mode: adding and taking away 1.5 x 2^52 leaves no
    // fraction bits. mingw-w64's nearbyint reloads the x87 control word twice
    // a call, which made converting a render cost a quarter of the render.
    constexpr double kRound = 6755399441055744.0;
    const double clamped = std::clamp(v, -scale, scale - 1);
    return int64_t((clamped + kRound) - kRound);
}

void WriteSample(float x, uint8_t* p, const PcmLayout& l) noexcept {
    switch (l.bits) {
    case 8: p[0] = uint8_t(Quantize(x, 128) + 128); return;
    case 16: {
        const uint16_t v = uint16_t(Quantize(x, 32768));
        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
        return;
    }
    case 24: {
        const uint32_t v = uint32_t(Quantize(x, 8388608));
        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16);
        return;
    }
    default:
        if (l.isFloat) {
            std::memcpy(p, &x, 4);
        } else {
            const int32_t v = int32_t(Quantize(x, 2147483648.0));
            std::memcpy(p, &v, 4);
        }
    }
}

} // namespace

PcmLayout LayoutOf(const SampleFormat& f) noexcept {
    PcmLayout l;
    l.rate = f.rate;
    l.channels = uint16_t(f.channels);
    l.bits = uint16_t(f.bytesPerSample * 8);
    l.isFloat = f.isFloat;
    return l;
}

PcmLayout OutputLayout(const PcmLayout& in, uint32_t flags) noexcept {
    PcmLayout out = in;
    if (!in.isFloat) return out;
    switch (flags & 0xF) {
    case BASS_ENCODE_FP_8BIT: out.bits = 8; break;
    case BASS_ENCODE_FP_16BIT: out.bits = 16; break;
    case BASS_ENCODE_FP_24BIT: out.bits = 24; break;
    case BASS_ENCODE_FP_32BIT: out.bits = 32; break;
    default: return out;
    }
    out.isFloat = false;
    return out;
}

void ConvertSamples(const void* in, const PcmLayout& il, void* out, const PcmLayout& ol, size_t samples) noexcept {
    const auto* src = static_cast<const uint8_t*>(in);
    auto* dst = static_cast<uint8_t*>(out);
    const size_t is = il.bits / 8u, os = ol.bits / 8u;
    if (il.bits == ol.bits && il.isFloat == ol.isFloat) {
        std::memcpy(dst, src, samples * is);
        return;
    }
    for (size_t i = 0; i < samples; ++i) WriteSample(ReadSample(src + i * is, il), dst + i * os, ol);
}

} // namespace tsl::encode
