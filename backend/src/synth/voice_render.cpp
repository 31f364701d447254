// The per-sample loop of a voice: fetch and interpolate 16-bit sample frames
// at a 32.32 fixed-point position, filter, and mix with linear gain ramps.
//
// The loop never checks sample bounds per frame. A block is cut into runs:
// plain runs read the sample data directly (its guard frames cover the
// interpolator's reach), and the few frames near a loop's end read the
// loop seam, which continues the loop across its end.
#include <cstring>

#include "synth/sinc_table.h"
#include "synth/voice.h"

namespace tsl {
namespace {

constexpr uint32_t kHalfGuard = font::kGuard / 2;

inline void LinearRun(const int16_t* src, uint64_t& pos, uint64_t inc, float* out, uint32_t count) noexcept {
    uint64_t p = pos;
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t* s = src + (p >> 32);
        float frac = static_cast<float>(static_cast<uint32_t>(p)) * (1.0f / 4294967296.0f);
        float a = s[0];
        out[i] = a + (static_cast<float>(s[1]) - a) * frac;
        p += inc;
    }
    pos = p;
}

inline void SincRun(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out, uint32_t count) noexcept {
    uint64_t p = pos;
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t* s = src + (p >> 32) - sinc::kHalf;
        const float* k = sinc::Kernel(band, static_cast<int>(static_cast<uint32_t>(p) >> (32 - 9)));
        float acc = 0;
        for (int t = 0; t < sinc::kTaps; ++t) acc += static_cast<float>(s[t]) * k[t];
        out[i] = acc;
        p += inc;
    }
    pos = p;
}

// Frames (at most `max`) whose integer position stays below `limit`.
inline uint32_t FramesBelow(uint64_t pos, uint64_t inc, uint32_t limit, uint32_t max) noexcept {
    uint64_t lim = static_cast<uint64_t>(limit) << 32;
    if (pos >= lim) return 0;
    uint64_t n = (lim - pos + inc - 1) / inc;
    return n < max ? static_cast<uint32_t>(n) : max;
}

} // namespace

bool Voice::Render(MixBuses& bus, uint32_t frames, bool fx) noexcept {
    alignas(32) float tmp[kBlockFrames];
    // A note that begins inside this block renders only from its start frame.
    const uint32_t off = startDelay;
    startDelay = 0;
    const bool silent = gL == 0 && gR == 0 && tL == 0 && tR == 0 && tRev == 0 && tCho == 0 && gRev == 0 && gCho == 0;
    uint32_t done = off;
    bool alive = true;

    while (done < frames) {
        uint32_t idx = static_cast<uint32_t>(pos >> 32);
        uint32_t want = frames - done;
        if (looping) {
            uint32_t len = loopEnd - loopStart;
            if (idx >= loopEnd + kHalfGuard) {
                uint64_t over = (static_cast<uint64_t>(idx) - loopEnd - kHalfGuard) / len + 1;
                pos -= (over * len) << 32;
                continue;
            }
            if (idx + kHalfGuard >= loopEnd) {
                // Near the seam: read the seam copy, positioned so that seam
                // frame kGuard is loop start continuing loop end.
                uint32_t n = FramesBelow(pos, inc, loopEnd + kHalfGuard, want);
                if (n == 0) n = 1;
                uint64_t shift = (static_cast<uint64_t>(loopEnd) - font::kGuard) << 32;
                uint64_t rel = pos - shift;
                if (silent) rel += inc * n;
                else if (sinc) SincRun(seam, rel, inc, sincBand, tmp + done, n);
                else LinearRun(seam, rel, inc, tmp + done, n);
                pos = rel + shift;
                done += n;
                continue;
            }
            uint32_t n = FramesBelow(pos, inc, loopEnd - kHalfGuard, want);
            if (n == 0) n = 1;
            if (silent) pos += inc * n;
            else if (sinc) SincRun(pcm, pos, inc, sincBand, tmp + done, n);
            else LinearRun(pcm, pos, inc, tmp + done, n);
            done += n;
        } else {
            if (idx >= end) {
                alive = false;
                break;
            }
            uint32_t n = FramesBelow(pos, inc, end, want);
            if (n == 0) n = 1;
            if (silent) pos += inc * n;
            else if (sinc) SincRun(pcm, pos, inc, sincBand, tmp + done, n);
            else LinearRun(pcm, pos, inc, tmp + done, n);
            done += n;
        }
    }
    if (silent) {
        gL = tL; gR = tR; gRev = tRev; gCho = tCho;
        return alive;
    }
    if (done < frames) std::memset(tmp + done, 0, (frames - done) * sizeof(float));
    if (filterOn) filterState.Run(filter, tmp + off, frames - off);

    float l = gL, r = gR;
    const float dl = dL, dr = dR;
    float* __restrict L = bus.left;
    float* __restrict R = bus.right;
    for (uint32_t i = off; i < frames; ++i) {
        // Step first: the last frame lands exactly on the target, and a note
        // starting at this block's first frame is heard from that frame.
        l += dl;
        r += dr;
        L[i] += tmp[i] * l;
        R[i] += tmp[i] * r;
    }
    if (fx && (gRev != 0 || tRev != 0)) {
        float g = gRev;
        for (uint32_t i = off; i < frames; ++i) {
            g += dRev;
            bus.reverb[i] += tmp[i] * g;
        }
    }
    if (fx && (gCho != 0 || tCho != 0)) {
        float g = gCho;
        for (uint32_t i = off; i < frames; ++i) {
            g += dCho;
            bus.chorus[i] += tmp[i] * g;
        }
    }
    gL = tL; gR = tR; gRev = tRev; gCho = tCho;
    return alive;
}

} // namespace tsl
