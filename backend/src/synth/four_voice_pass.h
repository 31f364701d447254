// The four-voice pass (kernels.h, RenderFour) as a template over its bus
// count, filter shape and instruction set. Included by kernels.cpp (SSE2, the
// x86-64 baseline) and, through wide_kernels_impl.h, by the builds for
// processors with AVX2 and FMA (and AVX-512): fused multiply-adds and
// three-operand instructions save a good part of the pass's instructions
// there. Everything here has internal linkage, so code built for one
// instruction set never stands in for another's.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

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

inline int32_t Lo(uint64_t x) noexcept { return static_cast<int32_t>(static_cast<uint32_t>(x)); }
inline int32_t Hi(uint64_t x) noexcept { return static_cast<int32_t>(static_cast<uint32_t>(x >> 32)); }

// The four read positions (32.32 fixed point) and the frame pairs they read.
// Baseline build: 64-bit positions in general registers, fractions also in
// 32-bit lanes that wrap by themselves (SSE2 cannot move single lanes to
// general registers cheaply).
class ScalarPositions {
public:
    explicit ScalarPositions(const FourVoices& v) noexcept
        : p0_(v.pos[0]), p1_(v.pos[1]), p2_(v.pos[2]), p3_(v.pos[3]), i0_(v.inc[0]), i1_(v.inc[1]), i2_(v.inc[2]),
          i3_(v.inc[3]), frac_(_mm_set_epi32(Lo(p3_), Lo(p2_), Lo(p1_), Lo(p0_))),
          step_(_mm_set_epi32(Lo(i3_), Lo(i2_), Lo(i1_), Lo(i0_))) {}
    // The pairs at the current positions and the fractions (0..1) between
    // them; then steps every position on.
    __m128i Pairs(const int16_t* s0, const int16_t* s1, const int16_t* s2, const int16_t* s3) noexcept {
        const __m128i pairs = _mm_set_epi32(Pair(s3 + (p3_ >> 32)), Pair(s2 + (p2_ >> 32)), Pair(s1 + (p1_ >> 32)),
                                            Pair(s0 + (p0_ >> 32)));
        p0_ += i0_;
        p1_ += i1_;
        p2_ += i2_;
        p3_ += i3_;
        return pairs;
    }
    template <bool kFma>
    __m128 Fractions() noexcept {
        const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(frac_, 9)), _mm_set1_ps(1.0f / 8388608.0f));
        frac_ = _mm_add_epi32(frac_, step_);
        return f;
    }
    void Store(FourVoices& v) const noexcept {
        v.pos[0] = p0_; v.pos[1] = p1_; v.pos[2] = p2_; v.pos[3] = p3_;
    }
    // After a refill: the positions moved by whole frames only.
    void Load(const FourVoices& v) noexcept {
        p0_ = v.pos[0]; p1_ = v.pos[1]; p2_ = v.pos[2]; p3_ = v.pos[3];
    }

private:
    uint64_t p0_, p1_, p2_, p3_;
    const uint64_t i0_, i1_, i2_, i3_;
    __m128i frac_;
    const __m128i step_;
};

#if defined(__SSE4_1__)
// AVX2 build: whole frames and fractions both in 32-bit lanes, the carry out
// of the fraction by a compare. Two lane moves to general registers replace
// eight 64-bit adds and copies and four shifts per frame, and free the eight
// general registers the positions and steps held (which were spilled).
// Fractions are kept with their top bit flipped so that a signed compare
// finds the unsigned wrap. Same positions, same fractions: same output.
class VectorPositions {
public:
    explicit VectorPositions(const FourVoices& v) noexcept
        : istep_(_mm_set_epi32(Hi(v.inc[3]), Hi(v.inc[2]), Hi(v.inc[1]), Hi(v.inc[0]))),
          fstep_(_mm_set_epi32(Lo(v.inc[3]), Lo(v.inc[2]), Lo(v.inc[1]), Lo(v.inc[0]))) {
        Load(v);
    }
    __m128i Pairs(const int16_t* s0, const int16_t* s1, const int16_t* s2, const int16_t* s3) noexcept {
        // Two positions at a time through a 64-bit register, split apart
        // there: half the lane moves, which take the vector ports.
        const uint64_t q0 = static_cast<uint64_t>(_mm_cvtsi128_si64(whole_));
        const uint64_t q1 = static_cast<uint64_t>(_mm_extract_epi64(whole_, 1));
        const uint32_t x0 = static_cast<uint32_t>(q0), x1 = static_cast<uint32_t>(q0 >> 32);
        const uint32_t x2 = static_cast<uint32_t>(q1), x3 = static_cast<uint32_t>(q1 >> 32);
        return _mm_set_epi32(Pair(s3 + x3), Pair(s2 + x2), Pair(s1 + x1), Pair(s0 + x0));
    }
    // (f - 2^31) >> 9, exactly converted and scaled, plus one half: the same
    // float as (f >> 9) / 2^23.
    template <bool kFma>
    __m128 Fractions() noexcept {
        const __m128 f = MulAdd<kFma>(_mm_cvtepi32_ps(_mm_srai_epi32(flipped_, 9)), _mm_set1_ps(1.0f / 8388608.0f),
                                      _mm_set1_ps(0.5f));
        const __m128i next = _mm_add_epi32(flipped_, fstep_);
        // The compare is all ones where the fraction wrapped: subtracting it adds the carry.
        whole_ = _mm_sub_epi32(_mm_add_epi32(whole_, istep_), _mm_cmpgt_epi32(flipped_, next));
        flipped_ = next;
        return f;
    }
    void Store(FourVoices& v) const noexcept {
        alignas(16) uint32_t w[4], f[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(w), whole_);
        _mm_store_si128(reinterpret_cast<__m128i*>(f), _mm_xor_si128(flipped_, _mm_set1_epi32(INT32_MIN)));
        for (int k = 0; k < 4; ++k) v.pos[k] = static_cast<uint64_t>(w[k]) << 32 | f[k];
    }
    void Load(const FourVoices& v) noexcept {
        whole_ = _mm_set_epi32(Hi(v.pos[3]), Hi(v.pos[2]), Hi(v.pos[1]), Hi(v.pos[0]));
        flipped_ = _mm_xor_si128(_mm_set_epi32(Lo(v.pos[3]), Lo(v.pos[2]), Lo(v.pos[1]), Lo(v.pos[0])),
                                 _mm_set1_epi32(INT32_MIN));
    }

private:
    __m128i whole_, flipped_;
    const __m128i istep_, fstep_;
};
#endif

// kLowpass: every voice's filter has b1 = 2 b0 and b2 = b0 exactly, and so
// have its steps (the two-pole low-pass, and the identity written as
// {1, 2, 1, 2, 1}), so b0 x is computed once, and the gain ramp rides on b0.
// Where b0 glides, b0·e is the product of two lines: its step moves on by
// 2·db0·de a frame, which keeps it on the product (taken as a line, it ended
// a block off by the product of the two moves, and the next block jumped
// back: a click where a release and a cutoff sweep meet). Otherwise the
// input is scaled by the ramp before the filter. The coefficients step on
// before each frame, as the gain does.
template <uint32_t kBuses, bool kLowpass, bool kFma>
void FourPass(FourVoices& v, float* __restrict acc, uint32_t frames) noexcept {
    const int16_t *s0 = v.src[0], *s1 = v.src[1], *s2 = v.src[2], *s3 = v.src[3];
#if defined(__SSE4_1__)
    using Positions = std::conditional_t<kFma, VectorPositions, ScalarPositions>;
#else
    using Positions = ScalarPositions;
#endif
    Positions pos(v);
    __m128 b0 = _mm_loadu_ps(v.c[0]), b1 = _mm_loadu_ps(v.c[1]), b2 = _mm_loadu_ps(v.c[2]);
    __m128 a1 = _mm_loadu_ps(v.c[3]), a2 = _mm_loadu_ps(v.c[4]);
    const __m128 db0 = _mm_loadu_ps(v.dc[0]), db1 = _mm_loadu_ps(v.dc[1]), db2 = _mm_loadu_ps(v.dc[2]);
    const __m128 da1 = _mm_loadu_ps(v.dc[3]), da2 = _mm_loadu_ps(v.dc[4]);
    __m128 z1 = _mm_loadu_ps(v.z[0]), z2 = _mm_loadu_ps(v.z[1]);
    __m128 e = _mm_loadu_ps(v.e0), de = _mm_loadu_ps(v.de);
    __m128 dde = _mm_setzero_ps();
    if constexpr (kLowpass) {
        // A b0 that holds adds exactly nothing: b0·de to the bit.
        dde = _mm_mul_ps(_mm_add_ps(db0, db0), de);
        de = MulAdd<kFma>(db0, e, MulAdd<kFma>(b0, de, _mm_mul_ps(db0, de)));
        e = _mm_mul_ps(b0, e);
    }
    __m128 share[kBuses];
    for (uint32_t b = 0; b < kBuses; ++b) share[b] = _mm_loadu_ps(v.share[b]);
    uint32_t i = 0;
    for (;;) {
        uint32_t part = frames - i;
        for (uint32_t l : v.left)
            if (l < part) part = l;
        const uint32_t stop = i + part;
        float* at = acc + kLanes * i;
        for (; i < stop; ++i) {
            const __m128i pairs = pos.Pairs(s0, s1, s2, s3);
            // The first frame and the step to the second, as 1·a + 0·b and
            // -1·a + 1·b: exact in integers, and so in floats (17 bits).
            const __m128 a = _mm_cvtepi32_ps(_mm_madd_epi16(pairs, _mm_set1_epi32(1)));
            const __m128 rise = _mm_cvtepi32_ps(_mm_madd_epi16(pairs, _mm_set1_epi32(0x1ffff)));
            const __m128 f = pos.template Fractions<kFma>();
            const __m128 in = MulAdd<kFma>(rise, f, a);
            e = _mm_add_ps(e, de);
            a1 = _mm_add_ps(a1, da1);
            a2 = _mm_add_ps(a2, da2);
            __m128 out;
            if constexpr (kLowpass) {
                de = _mm_add_ps(de, dde);
                const __m128 t = _mm_mul_ps(e, in);
                out = _mm_add_ps(t, z1);
                // The state update is summed with the feedback term last:
                // the loop-carried chain is then multiply, subtract, add.
                z1 = NegMulAdd<kFma>(a1, out, _mm_add_ps(_mm_add_ps(t, t), z2));
                z2 = NegMulAdd<kFma>(a2, out, t);
            } else {
                b0 = _mm_add_ps(b0, db0);
                b1 = _mm_add_ps(b1, db1);
                b2 = _mm_add_ps(b2, db2);
                const __m128 x = _mm_mul_ps(e, in);
                out = MulAdd<kFma>(b0, x, z1);
                z1 = NegMulAdd<kFma>(a1, out, MulAdd<kFma>(b1, x, z2));
                z2 = NegMulAdd<kFma>(a2, out, _mm_mul_ps(b2, x));
            }
            for (uint32_t b = 0; b < kBuses; ++b)
                _mm_store_ps(at + b * kLaneStride, MulAdd<kFma>(out, share[b], _mm_load_ps(at + b * kLaneStride)));
            at += kLanes;
        }
        for (uint32_t& l : v.left) l -= part;
        if (i == frames) break;
        // Some voice reached the end of its buffer: only its pointer and
        // position change (by whole frames, so the fraction lanes stay right).
        pos.Store(v);
        v.src[0] = s0; v.src[1] = s1; v.src[2] = s2; v.src[3] = s3;
        for (int k = 0; k < 4; ++k)
            if (v.left[k] == 0) v.refill(v.ctx, k, v.src[k], v.pos[k], v.left[k], frames - i);
        pos.Load(v);
        s0 = v.src[0]; s1 = v.src[1]; s2 = v.src[2]; s3 = v.src[3];
    }
    pos.Store(v);
    v.src[0] = s0; v.src[1] = s1; v.src[2] = s2; v.src[3] = s3;
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
