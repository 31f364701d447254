// The loops with builds for wider vector units than SSE2: the four-voice
// pass and two groups of it side by side, sinc interpolation, the
// eight-voice filter and the gain ramps. Included by kernels_avx2.cpp and
// kernels_avx512.cpp, each compiled for its processors and naming the table
// it fills (TSL_WIDE_TABLE); kernels.cpp picks a table only after checking
// the processor has what its build needs.
#pragma once

#ifndef TSL_WIDE_TABLE
#error "included only by kernels_avx2.cpp and kernels_avx512.cpp"
#endif

#include "synth/eight_voice_pass.h"
#include "synth/sinc_table.h"
#include "synth/wide_kernels.h"

namespace tsl::kernels {
namespace {
// Apart from the SSE2 loops of the same names in kernels.h.
namespace wide {

// A 4x4 transpose in each 128-bit half of four registers.
inline void TransposeHalves(__m256 (&r)[4]) noexcept {
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    r[0] = _mm256_shuffle_ps(t0, t2, 0x44);
    r[1] = _mm256_shuffle_ps(t0, t2, 0xEE);
    r[2] = _mm256_shuffle_ps(t1, t3, 0x44);
    r[3] = _mm256_shuffle_ps(t1, t3, 0xEE);
}

// Eight frames at a time: each frame's sixteen taps take two 8-wide
// multiplies (one fused), and two rounds of horizontal adds and a swap of
// halves sum the eight frames at once. Renders the whole eights of `count`
// and returns how many frames that was.
uint32_t SincRun(const int16_t* src, uint64_t& pos, uint64_t inc, int band, float* out, uint32_t count) noexcept {
    static_assert(sinc::kTaps == 16);
    uint64_t p = pos;
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256 r[8];
        for (int f = 0; f < 8; ++f) {
            const uint64_t q = p + f * inc;
            const float* k = sinc::Kernel(band, static_cast<int>(static_cast<uint32_t>(q) >> (32 - 9)));
            const int16_t* s = src + (q >> 32) - sinc::kHalf;
            const __m256 lo = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))));
            const __m256 hi =
                _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8))));
            r[f] = _mm256_fmadd_ps(hi, _mm256_load_ps(k + 8), _mm256_mul_ps(lo, _mm256_load_ps(k)));
        }
        p += 8 * inc;
        // Per 128-bit half: [frame 0 .. 3 partial sums | frame 4 .. 7 ...].
        const __m256 ab = _mm256_hadd_ps(_mm256_hadd_ps(r[0], r[1]), _mm256_hadd_ps(r[2], r[3]));
        const __m256 cd = _mm256_hadd_ps(_mm256_hadd_ps(r[4], r[5]), _mm256_hadd_ps(r[6], r[7]));
        _mm256_storeu_ps(out + i, _mm256_add_ps(_mm256_permute2f128_ps(ab, cd, 0x20), _mm256_permute2f128_ps(ab, cd, 0x31)));
    }
    pos = p;
    return i;
}

// BiquadFour's recurrence on eight voices at once: one lane per voice, the
// same multiplies, adds and subtractions in the same order (nothing fused),
// so every voice gets the bits the four-voice version gives it. The chain
// from one frame to the next is as long as there, for twice the voices.
// (This file is built with FMA, which the compiler would otherwise fuse
// some of the products into.)
__attribute__((optimize("fp-contract=off"))) void BiquadEight(float* const x[8], const float c[8][5], const float (*dc)[5],
                                                              float z[8][2], uint32_t frames) noexcept {
    auto lanes = [](const float (*v)[5], int j) {
        return _mm256_setr_ps(v[0][j], v[1][j], v[2][j], v[3][j], v[4][j], v[5][j], v[6][j], v[7][j]);
    };
    __m256 b0 = lanes(c, 0), b1 = lanes(c, 1), b2 = lanes(c, 2), a1 = lanes(c, 3), a2 = lanes(c, 4);
    const __m256 db0 = lanes(dc, 0), db1 = lanes(dc, 1), db2 = lanes(dc, 2), da1 = lanes(dc, 3), da2 = lanes(dc, 4);
    __m256 s1 = _mm256_setr_ps(z[0][0], z[1][0], z[2][0], z[3][0], z[4][0], z[5][0], z[6][0], z[7][0]);
    __m256 s2 = _mm256_setr_ps(z[0][1], z[1][1], z[2][1], z[3][1], z[4][1], z[5][1], z[6][1], z[7][1]);
    auto step = [&](__m256 in) {
        b0 = _mm256_add_ps(b0, db0);
        b1 = _mm256_add_ps(b1, db1);
        b2 = _mm256_add_ps(b2, db2);
        a1 = _mm256_add_ps(a1, da1);
        a2 = _mm256_add_ps(a2, da2);
        const __m256 out = _mm256_add_ps(_mm256_mul_ps(b0, in), s1);
        s1 = _mm256_add_ps(_mm256_sub_ps(_mm256_mul_ps(b1, in), _mm256_mul_ps(a1, out)), s2);
        s2 = _mm256_sub_ps(_mm256_mul_ps(b2, in), _mm256_mul_ps(a2, out));
        return out;
    };
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        // Four frames of voices 0-3 in the low halves, of 4-7 in the high.
        __m256 r[4];
        for (int k = 0; k < 4; ++k)
            r[k] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(x[k] + i)), _mm_loadu_ps(x[4 + k] + i), 1);
        TransposeHalves(r); // r[f] = frame i + f of the eight voices
        for (auto& v : r) v = step(v);
        TransposeHalves(r);
        for (int k = 0; k < 4; ++k) {
            _mm_storeu_ps(x[k] + i, _mm256_castps256_ps128(r[k]));
            _mm_storeu_ps(x[4 + k] + i, _mm256_extractf128_ps(r[k], 1));
        }
    }
    for (; i < frames; ++i) {
        alignas(32) float o[8];
        _mm256_store_ps(o, step(_mm256_setr_ps(x[0][i], x[1][i], x[2][i], x[3][i], x[4][i], x[5][i], x[6][i], x[7][i])));
        for (int k = 0; k < 8; ++k) x[k][i] = o[k];
    }
    alignas(32) float t1[8], t2[8];
    _mm256_store_ps(t1, s1);
    _mm256_store_ps(t2, s2);
    for (int k = 0; k < 8; ++k) {
        z[k][0] = t1[k];
        z[k][1] = t2[k];
    }
}

// The SSE2 gain ramps eight frames at a time: each frame's gain and product
// are the same operations (nothing fused), so the buses get the same bits.
__attribute__((optimize("fp-contract=off"))) void MixRamps(const float* x, float* const bus[], int buses,
                                                           uint32_t from, uint32_t to, const float g0[],
                                                           const float d[]) noexcept {
    uint32_t i = from;
    __m256 k = _mm256_setr_ps(1, 2, 3, 4, 5, 6, 7, 8);
    const __m256 eight = _mm256_set1_ps(8);
    for (; i + 8 <= to; i += 8) {
        const __m256 v = _mm256_loadu_ps(x + i);
        for (int b = 0; b < buses; ++b) {
            const __m256 g = _mm256_add_ps(_mm256_set1_ps(g0[b]), _mm256_mul_ps(_mm256_set1_ps(d[b]), k));
            _mm256_storeu_ps(bus[b] + i, _mm256_add_ps(_mm256_loadu_ps(bus[b] + i), _mm256_mul_ps(v, g)));
        }
        k = _mm256_add_ps(k, eight);
    }
    for (; i < to; ++i) {
        const float kk = static_cast<float>(i - from + 1);
        for (int b = 0; b < buses; ++b) bus[b][i] += x[i] * (g0[b] + d[b] * kk);
    }
}

// ScaleRamp eight frames at a time, each frame's gain and product taken as
// the plain loop takes them (nothing fused): the same bits.
__attribute__((optimize("fp-contract=off"))) void ScaleRamp(float* x, uint32_t from, uint32_t to, float g0,
                                                            float d) noexcept {
    uint32_t i = from;
    __m256 k = _mm256_setr_ps(1, 2, 3, 4, 5, 6, 7, 8);
    const __m256 eight = _mm256_set1_ps(8), gv = _mm256_set1_ps(g0), dv = _mm256_set1_ps(d);
    for (; i + 8 <= to; i += 8) {
        _mm256_storeu_ps(x + i, _mm256_mul_ps(_mm256_loadu_ps(x + i), _mm256_add_ps(gv, _mm256_mul_ps(dv, k))));
        k = _mm256_add_ps(k, eight);
    }
    for (; i < to; ++i) x[i] *= g0 + d * static_cast<float>(i - from + 1);
}

void RenderFour(FourVoices& v, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept {
    FourPassFor<true>(v, acc, buses, lowpass, frames);
}

void RenderEight(FourVoices& a, FourVoices& b, float* acc, uint32_t buses, bool lowpass, uint32_t frames) noexcept {
    if (lowpass) eight::PassFor<true>(a, b, acc, buses, frames);
    else eight::PassFor<false>(a, b, acc, buses, frames);
}

} // namespace wide
} // namespace

const WideKernels TSL_WIDE_TABLE = {wide::RenderFour, wide::RenderEight, wide::SincRun, wide::BiquadEight,
                                    wide::MixRamps, wide::ScaleRamp};

} // namespace tsl::kernels
