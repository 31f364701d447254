// The four-voice pass (kernels.h, RenderFour) as a template over its bus
// count, filter shape and instruction set. Included by kernels.cpp (SSE2, the
// x86-64 baseline) and by kernels_fma.cpp, which is compiled for processors
// with AVX2 and FMA: fused multiply-adds and three-operand instructions save
// a good part of the pass's instructions there. Everything here has internal
// linkage, so code built for one instruction set never stands in for the
// other's.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "synth/kernels.h"

namespace tsl::kernels {
namespace {

inline int32_t Pair(const int16_t* s) noexcept {
    int32_t v;
    std::memcpy(&v, s, sizeof v); // s[0] in the low half, s[1] in the high (little-endian)
    return v;
}

// a * b + c, and c - a * b; fused (one rounding) when kFma.
template <bool kFma>
inline __m128 MulAdd(__m128 a, __m128 b, __m128 c) noexcept {
    if constexpr (kFma) return _mm_fmadd_ps(a, b, c);
    else return _mm_add_ps(_mm_mul_ps(a, b), c);
}
template <bool kFma>
inline __m128 NegMulAdd(__m128 a, __m128 b, __m128 c) noexcept {
    if constexpr (kFma) return _mm_fnmadd_ps(a, b, c);
    else return _mm_sub_ps(c, _mm_mul_ps(a, b));
}

// kLowpass: every voice's filter has b1 = 2 b0 and b2 = b0 exactly (the
// two-pole low-pass, and the identity written as {1, 2, 1, 2, 1}), so b0 x
// is computed once; the products are the same, so are the results.
template <uint32_t kBuses, bool kLowpass, bool kFma>
void FourPass(FourVoices& v, float* __restrict acc, uint32_t frames) noexcept {
    const int16_t *s0 = v.src[0], *s1 = v.src[1], *s2 = v.src[2], *s3 = v.src[3];
    uint64_t p0 = v.pos[0], p1 = v.pos[1], p2 = v.pos[2], p3 = v.pos[3];
    const uint64_t i0 = v.inc[0], i1 = v.inc[1], i2 = v.inc[2], i3 = v.inc[3];
    auto lo = [](uint64_t x) { return static_cast<int32_t>(static_cast<uint32_t>(x)); };
    // Fractions in 32-bit lanes that wrap by themselves; integer parts from
    // the 64-bit positions.
    __m128i frac = _mm_set_epi32(lo(p3), lo(p2), lo(p1), lo(p0));
    const __m128i step = _mm_set_epi32(lo(i3), lo(i2), lo(i1), lo(i0));
    const __m128 scale = _mm_set1_ps(1.0f / 8388608.0f);
    const __m128 b0 = _mm_loadu_ps(v.c[0]), b1 = _mm_loadu_ps(v.c[1]), b2 = _mm_loadu_ps(v.c[2]);
    const __m128 a1 = _mm_loadu_ps(v.c[3]), a2 = _mm_loadu_ps(v.c[4]);
    __m128 z1 = _mm_loadu_ps(v.z[0]), z2 = _mm_loadu_ps(v.z[1]);
    __m128 g[kBuses], d[kBuses];
    for (uint32_t b = 0; b < kBuses; ++b) {
        g[b] = _mm_loadu_ps(v.g0[b]);
        d[b] = _mm_loadu_ps(v.d[b]);
    }
    uint32_t i = 0;
    for (;;) {
        uint32_t part = frames - i;
        for (uint32_t l : v.left)
            if (l < part) part = l;
        const uint32_t stop = i + part;
        float* at = acc + 4 * i;
        for (; i < stop; ++i) {
            const __m128i pairs = _mm_set_epi32(Pair(s3 + (p3 >> 32)), Pair(s2 + (p2 >> 32)), Pair(s1 + (p1 >> 32)),
                                                Pair(s0 + (p0 >> 32)));
            p0 += i0;
            p1 += i1;
            p2 += i2;
            p3 += i3;
            const __m128 a = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
            const __m128 bb = _mm_cvtepi32_ps(_mm_srai_epi32(pairs, 16));
            const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(frac, 9)), scale);
            frac = _mm_add_epi32(frac, step);
            const __m128 in = MulAdd<kFma>(_mm_sub_ps(bb, a), f, a);
            __m128 out;
            if constexpr (kLowpass) {
                const __m128 t = _mm_mul_ps(b0, in);
                out = _mm_add_ps(t, z1);
                // The state update is summed with the feedback term last:
                // the loop-carried chain is then multiply, subtract, add.
                z1 = NegMulAdd<kFma>(a1, out, _mm_add_ps(_mm_add_ps(t, t), z2));
                z2 = NegMulAdd<kFma>(a2, out, t);
            } else {
                out = MulAdd<kFma>(b0, in, z1);
                z1 = NegMulAdd<kFma>(a1, out, MulAdd<kFma>(b1, in, z2));
                z2 = NegMulAdd<kFma>(a2, out, _mm_mul_ps(b2, in));
            }
            for (uint32_t b = 0; b < kBuses; ++b) {
                g[b] = _mm_add_ps(g[b], d[b]);
                _mm_store_ps(at + b * kLaneStride, MulAdd<kFma>(out, g[b], _mm_load_ps(at + b * kLaneStride)));
            }
            at += 4;
        }
        for (uint32_t& l : v.left) l -= part;
        if (i == frames) break;
        // Some voice reached the end of its buffer: only its pointer and
        // position change (by whole frames, so the fraction lanes stay right).
        v.pos[0] = p0; v.pos[1] = p1; v.pos[2] = p2; v.pos[3] = p3;
        v.src[0] = s0; v.src[1] = s1; v.src[2] = s2; v.src[3] = s3;
        for (int k = 0; k < 4; ++k)
            if (v.left[k] == 0) v.refill(v.ctx, k, v.src[k], v.pos[k], v.left[k], frames - i);
        p0 = v.pos[0]; p1 = v.pos[1]; p2 = v.pos[2]; p3 = v.pos[3];
        s0 = v.src[0]; s1 = v.src[1]; s2 = v.src[2]; s3 = v.src[3];
    }
    v.pos[0] = p0;
    v.pos[1] = p1;
    v.pos[2] = p2;
    v.pos[3] = p3;
    v.src[0] = s0; v.src[1] = s1; v.src[2] = s2; v.src[3] = s3;
    for (uint32_t b = 0; b < kBuses; ++b) _mm_storeu_ps(v.g0[b], g[b]);
    _mm_storeu_ps(v.z[0], z1);
    _mm_storeu_ps(v.z[1], z2);
}

// The pass for the given bus count and filter shape.
template <bool kFma>
void FourPassFor(FourVoices& v, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept {
    if (lowpass) {
        if (buses == 2) FourPass<2, true, kFma>(v, acc, frames);
        else if (buses == 3) FourPass<3, true, kFma>(v, acc, frames);
        else FourPass<4, true, kFma>(v, acc, frames);
    } else {
        if (buses == 2) FourPass<2, false, kFma>(v, acc, frames);
        else if (buses == 3) FourPass<3, false, kFma>(v, acc, frames);
        else FourPass<4, false, kFma>(v, acc, frames);
    }
}

} // namespace
} // namespace tsl::kernels
