#include "font/wav_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tsl::font {

namespace {

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

int32_t To24(double x) {
    if (!(x == x)) return 0; // NaN
    double v = std::round(x * 8388608.0);
    return int32_t(std::clamp(v, -8388608.0, 8388607.0));
}

} // namespace

bool ReadWavInfo(ByteSource& src, WavInfo* info) {
    *info = WavInfo{};
    const uint64_t fileSize = src.Size();
    uint8_t head[12];
    if (fileSize < 12 || !src.ReadAt(0, head, 12)) return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
    // A RIFF size beyond the file is cut to the file.
    const uint64_t end = std::min<uint64_t>(uint64_t(Le32(head + 4)) + 8, fileSize);
    uint64_t pos = 12;
    bool haveFmt = false, haveData = false;
    uint16_t blockAlign = 0;
    int chunks = 0;
    while (pos + 8 <= end && ++chunks < 10000) {
        uint8_t h[8];
        if (!src.ReadAt(pos, h, 8)) return false;
        const uint64_t csize = Le32(h + 4);
        const uint64_t body = pos + 8;
        const uint64_t avail = end - body;
        if (std::memcmp(h, "fmt ", 4) == 0 && !haveFmt) {
            uint8_t f[40];
            if (csize < 16 || avail < 16) return false;
            size_t n = size_t(std::min<uint64_t>({csize, avail, 40}));
            if (!src.ReadAt(body, f, n)) return false;
            uint16_t tag = Le16(f);
            info->channels = Le16(f + 2);
            info->rate = Le32(f + 4);
            blockAlign = Le16(f + 12);
            info->bits = Le16(f + 14);
            if (tag == 0xFFFE) {
                if (n < 40) return false;
                tag = Le16(f + 24); // first two bytes of the sub-format GUID
            }
            if (tag == 1) info->isFloat = false;
            else if (tag == 3) info->isFloat = true;
            else return false;
            haveFmt = true;
        } else if (std::memcmp(h, "smpl", 4) == 0) {
            uint8_t s[60];
            if (csize >= 36 && avail >= 36) {
                size_t n = size_t(std::min<uint64_t>({csize, avail, 60}));
                if (!src.ReadAt(body, s, n)) return false;
                uint32_t unity = Le32(s + 12);
                uint32_t fraction = Le32(s + 16);
                if (unity <= 127) {
                    info->hasUnity = true;
                    info->unityNote = uint8_t(unity);
                    info->unityCents = int8_t(std::lround(double(fraction) / 4294967296.0 * 100.0) % 100);
                }
                uint32_t loops = Le32(s + 28);
                if (loops > 0 && n >= 60) {
                    uint32_t a = Le32(s + 36 + 8), b = Le32(s + 36 + 12);
                    if (b > a) {
                        info->hasLoop = true;
                        info->loopStart = a;
                        info->loopEnd = b + 1; // smpl's end is the last frame played
                    }
                }
            }
        } else if (std::memcmp(h, "data", 4) == 0 && !haveData) {
            if (!haveFmt || blockAlign == 0) return false;
            haveData = true;
            info->dataOffset = body;
            info->frames = std::min<uint64_t>(csize, avail) / blockAlign;
        }
        if (csize > end - body) break; // a last chunk cut short (common for data)
        pos = body + csize + (csize & 1);
    }
    if (!haveFmt || !haveData) return false;
    if (info->channels < 1 || info->channels > 2 || info->rate == 0 || info->rate > 768000) return false;
    bool okBits = info->isFloat ? (info->bits == 32 || info->bits == 64)
                                : (info->bits == 8 || info->bits == 16 || info->bits == 24 || info->bits == 32);
    if (!okBits || blockAlign != info->channels * (info->bits / 8)) return false;
    if (info->frames > (uint64_t(1) << 31)) return false;
    if (info->hasLoop) {
        info->loopEnd = uint32_t(std::min<uint64_t>(info->loopEnd, info->frames));
        if (info->loopEnd <= info->loopStart + 1) info->hasLoop = false;
    }
    return true;
}

bool DecodeWavChannel(ByteSource& src, int channel, std::vector<int16_t>& pcm, std::vector<uint8_t>& low,
                      WavInfo* info) {
    if (!ReadWavInfo(src, info)) return false;
    if (channel < 0 || channel >= info->channels) return false;
    const size_t bps = info->bits / 8;
    const size_t stride = bps * info->channels;
    const size_t n = size_t(info->frames);
    std::vector<uint8_t> raw(n * stride);
    if (!raw.empty() && !src.ReadAt(info->dataOffset, raw.data(), raw.size())) return false;
    pcm.resize(n);
    const bool wide = info->bits > 16;
    low.assign(wide ? n : 0, 0);
    const uint8_t* p = raw.data() + size_t(channel) * bps;
    for (size_t i = 0; i < n; ++i, p += stride) {
        int32_t v24;
        if (info->isFloat) {
            double x;
            if (info->bits == 32) {
                float f;
                std::memcpy(&f, p, 4);
                x = f;
            } else {
                std::memcpy(&x, p, 8);
            }
            v24 = To24(x);
        } else if (info->bits == 8) {
            pcm[i] = int16_t((int(p[0]) - 128) * 256);
            continue;
        } else if (info->bits == 16) {
            pcm[i] = int16_t(Le16(p));
            continue;
        } else if (info->bits == 24) {
            v24 = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
        } else {
            v24 = int32_t(Le32(p)) >> 8;
        }
        pcm[i] = int16_t(v24 >> 8);
        low[i] = uint8_t(v24 & 0xFF);
    }
    return true;
}

} // namespace tsl::font
